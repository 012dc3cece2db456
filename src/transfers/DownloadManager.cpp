// The entries of the list, and the user's actions on them.
#include "DownloadManager.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QNetworkCookieJar>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

#include "HiddenPage.h"
#include "StopReason.h"

namespace {

constexpr int SpaceCheckMs = 500;

// The codes are Chromium's, which the engine passes on.
constexpr bool sameCode(StopReason::Code ours, QWebEngineDownloadRequest::DownloadInterruptReason engine)
{
    return int(ours) == int(engine);
}
using R = QWebEngineDownloadRequest;
static_assert(sameCode(StopReason::FileNoSpace, R::FileNoSpace) && sameCode(StopReason::NetworkFailed, R::NetworkFailed)
              && sameCode(StopReason::NetworkServerDown, R::NetworkServerDown)
              && sameCode(StopReason::ServerFailed, R::ServerFailed)
              && sameCode(StopReason::ServerBadContent, R::ServerBadContent)
              && sameCode(StopReason::ServerUnreachable, R::ServerUnreachable)
              && sameCode(StopReason::UserCanceled, R::UserCanceled));

} // namespace

DownloadManager::DownloadManager(QWebEngineProfile *profile, QObject *parent)
    : Downloads(parent)
    , m_profile(profile)
    , m_probe(&m_network, profile->httpUserAgent().toUtf8())
{
    // A server that checks its pages' cookie checks ours too.
    QNetworkCookieJar *jar = m_network.cookieJar();
    connect(profile->cookieStore(), &QWebEngineCookieStore::cookieAdded, this,
            [jar](const QNetworkCookie &cookie) { jar->insertCookie(cookie); });
    connect(profile->cookieStore(), &QWebEngineCookieStore::cookieRemoved, this,
            [jar](const QNetworkCookie &cookie) { jar->deleteCookie(cookie); });
    // Direct connection: the request must be accepted inside the signal, or
    // the engine drops it.
    connect(profile, &QWebEngineProfile::downloadRequested, this, &DownloadManager::onDownloadRequested,
            Qt::DirectConnection);
    m_spaceWatch.setInterval(SpaceCheckMs);
    connect(&m_spaceWatch, &QTimer::timeout, this, qOverload<>(&DownloadManager::checkSpace));
    // Progress is read on a clock rather than per received chunk: the
    // engine's own work shares this thread.
    m_progress.setInterval(ProgressMs);
    connect(&m_progress, &QTimer::timeout, this, &DownloadManager::sample);
    connect(&m_leftovers, &PartialSweep::changed, this, &DownloadManager::journalChanged);
    m_clock.start();
}

DownloadManager::~DownloadManager()
{
    // However the program ends, short of the user's cancel, what it could
    // keep is kept.
    if (m_journal)
        keepAll();
    else
        cancelAll();
}

QList<DownloadEntry> DownloadManager::entries() const
{
    QList<DownloadEntry> out;
    out.reserve(qsizetype(m_records.size()));
    for (const auto &r : m_records)
        out << r->entry;
    return out;
}

DownloadEntry DownloadManager::entry(int id) const
{
    const Record *r = find(id);
    return r ? r->entry : DownloadEntry {};
}

DownloadManager::Record *DownloadManager::find(int id) const
{
    const auto it
        = std::find_if(m_records.cbegin(), m_records.cend(), [id](const auto &r) { return r->entry.id == id; });
    return it == m_records.cend() ? nullptr : it->get();
}

// Not announced yet: the caller fills it in, then tells the list once.
DownloadManager::Record *DownloadManager::makeRecord(DownloadEntry::State state, const QString &name, const QUrl &url)
{
    auto &r = m_records.emplace_back(std::make_unique<Record>());
    r->entry.id = m_nextId++;
    r->entry.state = state;
    r->entry.name = name;
    r->entry.url = url;
    return r.get();
}

int DownloadManager::addClick(const QString &title, const QUrl &page)
{
    // The user asked again for what is under way: that entry is shown.
    const bool underWay = std::any_of(m_records.cbegin(), m_records.cend(), [&page](const auto &r) {
        return r->page == page && (r->entry.state == DownloadEntry::State::Opening || r->entry.isUnfinished());
    });
    if (underWay) {
        emit attentionWanted();
        return 0;
    }
    Record *r = makeRecord(DownloadEntry::State::Opening, title, page);
    r->page = page;
    r->title = title;
    emit entryAdded(r->entry.id);
    return r->entry.id;
}

void DownloadManager::clickGaveUp(int id, const QString &reason)
{
    Record *r = find(id);
    if (r && r->entry.state == DownloadEntry::State::Opening)
        setState(r, DownloadEntry::State::NothingCame, reason);
}

void DownloadManager::setState(Record *record, DownloadEntry::State state, const QString &reason)
{
    record->entry.state = state;
    record->entry.reason = reason;
    if (state != DownloadEntry::State::Running)
        record->entry.bytesPerSecond = 0;
    journalChanged();
    emit entryChanged(record->entry.id);
}

// The entry shows why, and those who asked for the download are told.
void DownloadManager::fail(Record *record, DownloadEntry::State state, const QString &reason)
{
    setState(record, state, reason);
    const bool cancelled = state == DownloadEntry::State::Cancelled;
    emit downloadFailed(record->entry.path, cancelled ? StopReason::text(StopReason::UserCanceled, {}) : reason);
}

void DownloadManager::act(int id, DownloadEntry::Action action)
{
    Record *r = find(id);
    if (!r || !r->entry.actions().testFlag(action))
        return;
    QWebEngineDownloadRequest *request = r->request;
    switch (action) {
    case DownloadEntry::Pause:
        if (request)
            request->pause();
        dropFetch(r);
        dropRestart(r);
        setState(r, DownloadEntry::State::Paused);
        startQueued();
        break;
    case DownloadEntry::Resume:
    case DownloadEntry::DownloadAnyway:
        if (action == DownloadEntry::DownloadAnyway)
            r->existingPath.clear();
        resume(r);
        break;
    case DownloadEntry::Cancel:
        cancelByUser(r);
        break;
    case DownloadEntry::Delete:
        // Its data goes, and so does the entry.
        cancelByUser(r);
        std::erase_if(m_records, [id](const auto &record) { return record->entry.id == id; });
        emit entriesRemoved({id});
        break;
    case DownloadEntry::OpenExisting: {
        // The file is there already: this copy is not needed.
        const QString existing = r->existingPath;
        cancelByUser(r);
        r->entry.path = existing;
        r->entry.name = QFileInfo(existing).fileName();
        setState(r, DownloadEntry::State::Finished);
        break;
    }
    case DownloadEntry::Retry:
        retry(r);
        break;
    default:
        break;
    }
}

void DownloadManager::resume(Record *r)
{
    QWebEngineDownloadRequest *request = r->request;
    if (r->landOnAnswer) {
        // Complete while paused: it lands once its name is known.
        setState(r, DownloadEntry::State::Running);
        if (!r->asking)
            landCompleted(r);
    } else if (std::exchange(r->completedWhileAsked, false)) {
        if (land(r, DownloadFolder::reservedPath(r->entry.path)))
            emit downloadFinished(r->entry.path, true);
    } else if (r->entry.fromEarlierRun) {
        continueEarlier(r);
    } else if (!request || request->isFinished()) {
        retry(r);
    } else if (runningCount() >= MaxRunning) {
        setState(r, DownloadEntry::State::Waiting);
    } else {
        r->sampled = {r->entry.received, m_clock.elapsed()};
        setState(r, DownloadEntry::State::Running);
        request->resume();
        watchTransfers();
    }
}

void DownloadManager::cancelByUser(Record *record)
{
    record->userCancelled = true;
    dropFetch(record);
    dropRestart(record);
    if (record->request)
        record->request->cancel();
    if (record->entry.isUnfinished())
        finish(record, DownloadEntry::State::Cancelled, QString());
}

void DownloadManager::finish(Record *record, DownloadEntry::State state, const QString &reason)
{
    const bool ok = state == DownloadEntry::State::Finished;
    const QString path = record->entry.path;
    dropFetch(record);
    if (!ok) {
        // Nothing lands of it, whatever its server says later.
        record->asking = 0;
        record->landOnAnswer = false;
        m_leftovers.add(path, record->files);
        record->files = {}; // the sweep's now
    }
    if (QWebEngineDownloadRequest *request = record->request) {
        request->disconnect(this);
        if (ok) {
            record->entry.received = request->receivedBytes();
            record->entry.total = request->totalBytes();
        }
        if (ok || request->isFinished()) {
            // Done requests are of no more use; the profile would keep them.
            request->deleteLater();
        } else {
            // Cancelled by us and not yet wound down, or interrupted (which
            // the engine keeps for resuming): cancel for good, release the
            // request when the engine is done, and sweep the partial file
            // from then on.
            connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this,
                    [this, request, path, files = record->files] {
                        m_leftovers.add(path, files);
                        request->deleteLater();
                    });
            if (request->state() != QWebEngineDownloadRequest::DownloadCancelled)
                request->cancel();
        }
        record->request = nullptr;
        // The engine moved its file to the partial name: that is our data.
        if (ok && !record->files.holds(FileIdentity::of(DownloadFolder::reservedPath(path))))
            record->files.data = FileIdentity::of(DownloadFolder::reservedPath(path));
    }
    if (ok && record->completedWhileAsked) {
        setState(record, DownloadEntry::State::AlreadyThere, QDir::toNativeSeparators(record->existingPath));
    } else if (ok && record->asking) {
        // Complete before the server said what the file is called: it lands
        // under that name once it has (a few seconds at most).
        record->partial = DownloadFolder::reservedPath(path);
        record->landOnAnswer = true;
        journalChanged(); // complete, should the program end meanwhile
        emit entryChanged(record->entry.id);
    } else if (ok) {
        // The engine saved it under its partial name.
        if (land(record, DownloadFolder::reservedPath(path)))
            emit downloadFinished(record->entry.path, true);
    } else {
        fail(record, state, reason);
        emit downloadFinished(path, false);
    }
    startQueued();
}

bool DownloadManager::land(Record *record, const QString &from)
{
    record->landOnAnswer = false;
    const QString landed = DownloadFolder::landAndTidy(from, record->files, record->entry.path, record->landAs);
    if (landed.isEmpty()) {
        // The complete data stays where it is, the user's now, and the entry
        // says where.
        const QString directory = QFileInfo(record->entry.path).absolutePath();
        record->partial.clear();
        fail(record, DownloadEntry::State::Failed, StopReason::notMovedText(directory, from));
        emit downloadFinished(record->entry.path, false);
        return false;
    }
    record->entry.path = landed;
    record->entry.name = QFileInfo(landed).fileName();
    record->partial.clear();
    setState(record, DownloadEntry::State::Finished);
    return true;
}

void DownloadManager::landCompleted(Record *record)
{
    if (land(record, record->partial))
        emit downloadFinished(record->entry.path, true);
}

void DownloadManager::cancelAll()
{
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i]->entry.isUnfinished())
            cancelByUser(m_records[i].get());
    }
}

void DownloadManager::clearEnded()
{
    // An ended entry holds no request and nothing waits on its record: the
    // engine's late signals and the timers find it by id, or find nothing.
    QList<int> ids;
    std::erase_if(m_records, [&ids](const auto &r) {
        if (!r->entry.hasEnded() || r->retryPage || r->restart)
            return false;
        ids << r->entry.id;
        return true;
    });
    if (!ids.isEmpty())
        emit entriesRemoved(ids);
}
