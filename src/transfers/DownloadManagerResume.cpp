// Downloads started again, and downloads that outlive the program: the
// journal of unfinished ones, keeping them when it ends, and continuing them
// after the next start from the bytes on disk, or from their file page when
// the server will not.
#include <algorithm>

#include <QDir>
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
    // goes now (the files they made only; never a file the user has, nor
    // another program's of the same name).
    for (const JournalLeftover &left : earlier.leftovers)
        DownloadFolder::removePartial(left.path, left.files);
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
        r->files = j.files;
        // Complete already: 继续 only lands it.
        r->completedWhileAsked = j.complete;
        // Without a validator the rest could be of another file.
        r->restartsFromPage = !j.complete && j.etag.isEmpty() && j.modified.isEmpty();
        // The choice the list offered, offered again.
        if (!j.existing.isEmpty() && QFileInfo(j.existing).isFile()) {
            r->existingPath = j.existing;
            r->entry.state = DownloadEntry::State::AlreadyThere;
            r->entry.reason = QDir::toNativeSeparators(j.existing);
        }
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

bool DownloadManager::writeJournal()
{
    m_journalDirty = false;
    if (!m_journal)
        return false;
    JournalContents contents;
    for (const QString &path : m_leftovers.paths())
        contents.leftovers << JournalLeftover {path, m_leftovers.files(path)};
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
                                            .modified = r->modified,
                                            .files = r->files,
                                            .complete = r->completedWhileAsked || r->landOnAnswer,
                                            .existing = r->existingPath};
    }
    return m_journal->write(contents);
}

bool DownloadManager::keepAll()
{
    for (const auto &r : m_records) {
        DownloadEntry &e = r->entry;
        if (!e.isUnfinished() || e.path.isEmpty())
            continue;
        if (r->landOnAnswer) {
            // Complete: it lands now, under the name it has.
            landCompleted(r.get());
            continue;
        }
        dropFetch(r.get());
        dropRestart(r.get());
        if (QWebEngineDownloadRequest *request = r->request) {
            request->disconnect(this);
            request->pause();
            e.received = qMax(e.received, request->receivedBytes());
            r->request = nullptr;
            // The engine deletes its partial file when it ends; the data
            // moves to the name the download reserved (empty until now).
            if (!r->completedWhileAsked && DownloadFolder::keepData(e.path, r->files))
                r->partial = DownloadFolder::reservedPath(e.path);
        }
        if (r->completedWhileAsked)
            r->partial = DownloadFolder::reservedPath(e.path);
        e.fromEarlierRun = true;
        if (e.state != DownloadEntry::State::AlreadyThere)
            setState(r.get(), DownloadEntry::State::Interrupted, StopReason::earlierRunText());
    }
    // The program ends now: no later event will write it.
    return writeJournal();
}

// 重试, and 继续 of what the engine cannot continue: from the file page
// where one is known, as the user's click did (its Referer, its cookies,
// its charset for the name), else from the address. It must bring the same
// file again.
void DownloadManager::retry(Record *record)
{
    dropFetch(record);
    record->expected = {
        .total = record->entry.total, .mimeType = record->mimeType, .etag = record->etag, .modified = record->modified};
    if (record->page.isValid())
        restartFromPage(record);
    else
        retryFromAddress(record);
}

// Releases the request, and what the download made of its files goes.
void DownloadManager::letGo(Record *record)
{
    if (QWebEngineDownloadRequest *request = record->request) {
        request->disconnect(this);
        request->cancel();
        request->deleteLater();
        record->request = nullptr;
        m_leftovers.add(record->entry.path, record->files);
    } else {
        DownloadFolder::removePartial(record->entry.path, record->files);
    }
    record->files = {};
    record->partial.clear();
    record->entry.received = 0;
}

void DownloadManager::retryFromAddress(Record *record)
{
    if (!record->entry.url.isValid())
        return;
    letGo(record);
    // Through a page of its own, whose grant names this entry: it may go to
    // any web address, and it hands nothing to the desktop.
    dropRetryPage(record);
    record->retryPage.reset(new HiddenPage(m_profile, HiddenPage::UrlOpener(), QString()));
    record->retryPage->allowUserAction(UserGrant({.downloads = 1, .entry = record->entry.id}));
    setState(record, DownloadEntry::State::Waiting, StopReason::fromItsAddressText());
    record->retryPage->download(record->entry.url);
}

void DownloadManager::continueEarlier(Record *record)
{
    if (record->restartsFromPage) {
        // The user was told it starts again from its page: a new version is
        // what they asked for.
        record->expected = {};
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
    record->restartsFromPage = false;
    record->entry.fromEarlierRun = false;
    if (!record->page.isValid()) {
        retryFromAddress(record);
        return;
    }
    // Never a file of two versions: what was fetched of the other goes.
    letGo(record);
    dropRestart(record);
    record->restart = std::make_unique<FilePageRestart>(m_profile, record->page, record->entry.id);
    const int id = record->entry.id;
    connect(record->restart.get(), &FilePageRestart::gaveUp, this, [this, id](const QString &reason) {
        Record *r = find(id);
        if (!r || !r->restart)
            return;
        dropRestart(r);
        fail(r, DownloadEntry::State::Failed, reason);
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

void DownloadManager::dropRetryPage(Record *record)
{
    // Possibly inside the engine's signal about its download; before the
    // profile, with the manager at the latest.
    if (HiddenPage *page = record->retryPage.release()) {
        page->setParent(this);
        page->deleteLater();
    }
}

// Whatever was starting it again goes: nothing it brings later is the entry's.
void DownloadManager::dropRestart(Record *record)
{
    if (FilePageRestart *restart = record->restart.release()) {
        restart->setParent(this);
        restart->deleteLater();
    }
    dropRetryPage(record);
}
