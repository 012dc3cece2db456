// Downloads started again, and downloads that outlive the program: the
// journal of unfinished ones, keeping them when it ends, and continuing them
// after the next start from the bytes on disk, or from their file page when
// the server will not.
#include <algorithm>
#include <cstdio>

#include <QFileInfo>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

#include "DownloadManager.h"
#include "HiddenPage.h"
#include "StopReason.h"

QString DownloadManager::dataPath(const Record *record) const
{
    return record->partial.isEmpty() ? DownloadFolder::enginePartialPath(record->entry.path) : record->partial;
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
        Record *r = makeRecord(DownloadEntry::State::Interrupted,
                               j.name.isEmpty() ? QFileInfo(j.path).fileName() : j.name, j.url);
        r->entry.reason = StopReason::earlierRunText();
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
        r->restartsFromPage = j.etag.isEmpty() && j.modified.isEmpty();
        emit entryAdded(r->entry.id);
    }
    writeJournal();
}

// Written once the event that changed it is done: a burst of changes, one write.
void DownloadManager::journalChanged()
{
    if (!m_journal || std::exchange(m_journalDirty, true))
        return;
    QTimer::singleShot(0, this, [this] {
        if (m_journalDirty)
            writeJournal();
    });
}

void DownloadManager::writeJournal()
{
    m_journalDirty = false;
    if (!m_journal)
        return;
    JournalContents contents {.leftovers = m_leftovers.paths()};
    for (const auto &r : m_records) {
        const DownloadEntry &e = r->entry;
        if (!e.isUnfinished() || e.path.isEmpty())
            continue;
        const QString partial = r->completedWhileAsked ? DownloadFolder::reservedPath(e.path) : dataPath(r.get());
        contents.downloads << JournalEntry {.url = e.url,
                                            .page = r->page,
                                            .title = r->title,
                                            .path = e.path,
                                            .name = r->landAs,
                                            .partial = partial,
                                            .bytes = e.received,
                                            .total = e.total,
                                            .etag = r->etag,
                                            .modified = r->modified};
    }
    m_journal->write(contents);
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
            const QString engines = DownloadFolder::enginePartialPath(e.path);
            if (!r->completedWhileAsked && QFile::exists(engines)
                && std::rename(QFile::encodeName(engines).constData(),
                               QFile::encodeName(DownloadFolder::reservedPath(e.path)).constData())
                       == 0)
                r->partial = DownloadFolder::reservedPath(e.path);
        }
        if (std::exchange(r->completedWhileAsked, false))
            r->partial = DownloadFolder::reservedPath(e.path);
        e.fromEarlierRun = true;
        setState(r.get(), DownloadEntry::State::Interrupted, StopReason::earlierRunText());
    }
    // The program ends now: no later event will write it.
    writeJournal();
}

void DownloadManager::retry(Record *record)
{
    if (!record->entry.url.isValid())
        return;
    dropFetch(record);
    if (record->restartsFromPage && record->page.isValid()) {
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
    setState(record, DownloadEntry::State::Waiting, StopReason::fromItsAddressText());
    m_retryPage->download(record->entry.url);
}

void DownloadManager::continueEarlier(Record *record)
{
    if (record->restartsFromPage) {
        restartFromPage(record);
        return;
    }
    if (runningCount(record) >= MaxRunning) {
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
    record->sampled = {record->entry.received, m_clock.elapsed()};
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
    if (outcome == RangeFetch::Outcome::Complete) {
        if (land(r, dataPath(r)))
            emit downloadFinished(r->entry.path, true);
    } else if (outcome == RangeFetch::Outcome::WriteError) {
        finish(r, DownloadEntry::State::Failed, StopReason::fetchText(outcome, folder, status));
        return;
    } else {
        r->restartsFromPage = StopReason::restartsFromPage(outcome);
        fail(r, DownloadEntry::State::Interrupted, StopReason::fetchText(outcome, folder, status));
    }
    startQueued();
}

void DownloadManager::restartFromPage(Record *record)
{
    if (!record->page.isValid()) {
        // Nothing but its address is known: started again from there.
        record->restartsFromPage = false;
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
        fail(r, DownloadEntry::State::Interrupted, reason);
    });
    setState(record, DownloadEntry::State::Waiting, StopReason::fromItsPageText());
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
