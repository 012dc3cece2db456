// Downloads started again, and downloads that outlive the program: the
// journal of unfinished ones, keeping them when it ends, and continuing them
// after the next start from the bytes on disk, or from their file page when
// the server will not.
#include <algorithm>
#include <cstdio>

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

#include "DownloadManager.h"
#include "FileNames.h"
#include "HiddenPage.h"
#include "StopReason.h"

namespace {

QString fromPageText(const QString &why)
{
    return why + QStringLiteral("，继续将从文件页重新下载");
}

} // namespace

qint64 DownloadManager::liveBytes(const Record *record) const
{
    if (record->request)
        return record->request->receivedBytes();
    if (record->fetch)
        return record->fetch->bytes();
    return record->entry.received;
}

QString DownloadManager::dataPath(const Record *record) const
{
    return record->partial.isEmpty() ? DownloadFolder::partialPath(record->entry.path) : record->partial;
}

void DownloadManager::useJournal(const QString &file)
{
    m_journal = std::make_unique<DownloadJournal>(file);
    const JournalContents earlier = m_journal->read();
    // The engine of that run is gone: what it left of cancelled downloads
    // goes now (their partial names only; never a file the user has).
    for (const QString &path : earlier.leftovers)
        DownloadFolder::removePartial(path);
    for (const JournalEntry &j : earlier.downloads) {
        Record *r = addRecord(DownloadEntry::State::Interrupted,
                              j.name.isEmpty() ? QFileInfo(j.path).fileName() : j.name, j.url);
        r->entry.path = j.path;
        r->entry.received = j.bytes;
        r->entry.total = j.total;
        r->entry.fromEarlierRun = true;
        r->page = j.page;
        r->title = j.title;
        r->etag = j.etag;
        r->modified = j.modified;
        r->partial = j.partial;
        r->landAs = j.name;
        // Without a validator the rest could be of another file.
        r->fromPageOnly = j.etag.isEmpty() && j.modified.isEmpty();
        setState(r, DownloadEntry::State::Interrupted, QStringLiteral("上次退出时未完成"));
    }
    writeJournal();
}

void DownloadManager::writeJournal()
{
    if (!m_journal)
        return;
    JournalContents contents {.leftovers = m_leftovers.paths()};
    for (const auto &r : m_records) {
        const DownloadEntry &e = r->entry;
        if (!e.isUnfinished() || e.path.isEmpty())
            continue;
        contents.downloads << JournalEntry {.url = e.url,
                                            .page = r->page,
                                            .title = r->title,
                                            .path = e.path,
                                            .name = r->landAs,
                                            .partial
                                            = r->copyDone ? DownloadFolder::enginePath(e.path) : dataPath(r.get()),
                                            .bytes = e.received,
                                            .total = e.total,
                                            .etag = r->etag,
                                            .modified = r->modified};
    }
    m_journal->write(contents);
}

void DownloadManager::askServer(Record *record)
{
    const int id = record->entry.id;
    const quint64 question = record->asking = ++m_questions;
    m_probe.validators(record->entry.url, record->page, this, [this, id, question](const auto &v) {
        Record *r = find(id);
        if (!r || r->asking != question)
            return;
        r->asking = 0;
        // Only an answer about the engine's very file identifies and names it.
        if (r->entry.total <= 0 || v.length == r->entry.total) {
            r->etag = v.etag;
            r->modified = v.modified;
            if (r->entry.total < 0)
                r->entry.total = v.length;
            // The name from the server's own bytes: what the engine made of
            // them may have lost its first characters. The data lands under it.
            const QString name = FileNames::dispositionName(v.disposition, r->charset);
            if (!name.isEmpty() && FileNames::sanitize(name) != r->wanted) {
                r->landAs = FileNames::sanitize(name);
                r->entry.name = r->landAs;
                emit entryChanged(id);
            }
        }
        if (std::exchange(r->landOnAnswer, false)) {
            if (land(r, r->partial))
                emit downloadFinished(r->entry.path, true);
            startQueued();
            return;
        }
        writeJournal();
    });
}

void DownloadManager::keepAll()
{
    for (const auto &r : m_records) {
        DownloadEntry &e = r->entry;
        if (!e.isUnfinished() || e.path.isEmpty())
            continue;
        dropFetch(r.get());
        dropRestart(r.get());
        if (QWebEngineDownloadRequest *request = r->request) {
            request->disconnect(this);
            request->pause();
            e.received = qMax(e.received, request->receivedBytes());
            r->request = nullptr;
            // The engine deletes its partial file when it ends; the data
            // moves to the name the download reserved (empty until now).
            if (!r->copyDone && QFile::exists(DownloadFolder::partialPath(e.path))
                && std::rename(QFile::encodeName(DownloadFolder::partialPath(e.path)).constData(),
                               QFile::encodeName(DownloadFolder::enginePath(e.path)).constData())
                       == 0)
                r->partial = DownloadFolder::enginePath(e.path);
        }
        if (r->copyDone)
            r->partial = DownloadFolder::enginePath(e.path);
        r->copyDone = false;
        e.fromEarlierRun = true;
        setState(r.get(), DownloadEntry::State::Interrupted, QStringLiteral("上次退出时未完成"));
    }
}

void DownloadManager::retry(Record *record)
{
    if (!record->entry.url.isValid())
        return;
    dropFetch(record);
    if (record->fromPageOnly && record->page.isValid()) {
        restartFromPage(record);
        return;
    }
    if (record->request) {
        record->request->disconnect(this);
        record->request->cancel();
        record->request->deleteLater();
        record->request = nullptr;
        m_leftovers.add(record->entry.path);
    } else {
        DownloadFolder::removePartial(record->entry.path);
    }
    // Started again from its address, through a page of our own: it may go
    // to any web address, and it hands nothing to the desktop.
    if (!m_retryPage)
        m_retryPage = new HiddenPage(m_profile, HiddenPage::UrlOpener(), QString());
    record->retrying = true;
    // One download for each 重试 still on its way, this one's included.
    const auto retrying
        = std::count_if(m_records.cbegin(), m_records.cend(), [](const auto &r) { return r->retrying; });
    m_retryPage->allowUserAction(UserGrant({.downloads = int(retrying)}));
    record->entry.received = 0;
    setState(record, DownloadEntry::State::Waiting, QStringLiteral("从头重新下载"));
    m_retryPage->download(record->entry.url);
}

void DownloadManager::continueEarlier(Record *record)
{
    if (record->fromPageOnly) {
        restartFromPage(record);
        return;
    }
    if (transferring(record) >= MaxRunning) {
        setState(record, DownloadEntry::State::Waiting);
        return;
    }
    dropFetch(record);
    // The pages' own identity, and the proxy the application gives them.
    record->fetch = std::make_unique<RangeFetch>(
        &m_network, RangeFetch::Target {.url = record->entry.url,
                                        .referer = record->page,
                                        .partial = dataPath(record),
                                        .total = record->entry.total,
                                        .validator = record->etag.isEmpty() ? record->modified : record->etag,
                                        .userAgent = m_profile->httpUserAgent().toUtf8()});
    const int id = record->entry.id;
    connect(record->fetch.get(), &RangeFetch::finished, this,
            [this, id](RangeFetch::Outcome outcome, int status) { onFetchEnded(id, outcome, status); });
    record->entry.received = record->fetch->bytes();
    record->sampledBytes = record->entry.received;
    record->sampledMs = m_clock.elapsed();
    setState(record, DownloadEntry::State::Running);
    watchTransfers();
}

void DownloadManager::onFetchEnded(int id, RangeFetch::Outcome outcome, int status)
{
    Record *r = find(id);
    if (!r || !r->fetch)
        return;
    r->entry.received = r->fetch->bytes();
    if (r->entry.total < 0 && outcome == RangeFetch::Outcome::Complete)
        r->entry.total = r->entry.received;
    dropFetch(r);
    const QString folder = QFileInfo(r->entry.path).absolutePath();
    using O = RangeFetch::Outcome;
    QString why;
    switch (outcome) {
    case O::Complete:
        if (land(r, dataPath(r)))
            emit downloadFinished(r->entry.path, true);
        startQueued();
        return;
    case O::Broken:
        why = StopReason::text(StopReason::NetworkFailed, folder);
        break;
    case O::Refused:
        why = StopReason::text(StopReason::ServerFailed, folder, status);
        break;
    case O::WriteError:
        finish(r, DownloadEntry::State::Failed, StopReason::unwritableText(folder));
        return;
    case O::Changed:
        r->fromPageOnly = true;
        why = fromPageText(QStringLiteral("服务器上的文件已更改"));
        break;
    case O::NoRanges:
        r->fromPageOnly = true;
        why = fromPageText(QStringLiteral("服务器不支持断点续传"));
        break;
    case O::Expired:
        r->fromPageOnly = true;
        why = fromPageText(QStringLiteral("下载链接已失效（HTTP %1）").arg(status));
        break;
    }
    setState(r, DownloadEntry::State::Interrupted, why);
    emit downloadFailed(r->entry.path, why);
    startQueued();
}

void DownloadManager::restartFromPage(Record *record)
{
    if (!record->page.isValid()) {
        // Nothing but its address is known: started again from there.
        record->fromPageOnly = false;
        record->entry.fromEarlierRun = false;
        retry(record);
        return;
    }
    // Never a file of two versions: what was fetched of the other goes.
    DownloadFolder::removePartial(record->entry.path);
    record->partial.clear();
    record->entry.received = 0;
    dropRestart(record);
    record->restart = std::make_unique<FilePageRestart>(m_profile, record->page, record->entry.id);
    const int id = record->entry.id;
    connect(record->restart.get(), &FilePageRestart::gaveUp, this, [this, id](const QString &reason) {
        Record *r = find(id);
        if (!r || !r->restart)
            return;
        dropRestart(r);
        setState(r, DownloadEntry::State::Interrupted, reason);
        emit downloadFailed(r->entry.path, reason);
    });
    setState(record, DownloadEntry::State::Waiting, QStringLiteral("正在从文件页重新下载"));
}

void DownloadManager::dropFetch(Record *record)
{
    // Possibly from inside its own signal.
    if (RangeFetch *fetch = record->fetch.release()) {
        fetch->abort();
        fetch->setParent(this);
        fetch->deleteLater();
    }
}

void DownloadManager::dropRestart(Record *record)
{
    // Its page goes before the profile: with the manager at the latest.
    if (FilePageRestart *restart = record->restart.release()) {
        restart->setParent(this);
        restart->deleteLater();
    }
}
