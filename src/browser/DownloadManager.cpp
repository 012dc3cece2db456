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
    connect(&m_leftovers, &PartialSweep::changed, this, &DownloadManager::writeJournal);
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
    delete m_retryPage;
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

DownloadManager::Record *DownloadManager::addRecord(DownloadEntry::State state, const QString &name, const QUrl &url)
{
    auto &r = m_records.emplace_back(std::make_unique<Record>());
    r->entry.id = m_nextId++;
    r->entry.state = state;
    r->entry.name = name;
    r->entry.url = url;
    emit entryAdded(r->entry.id);
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
    Record *r = addRecord(DownloadEntry::State::Opening, title, page);
    r->page = page;
    r->title = title;
    return r->entry.id;
}

void DownloadManager::clickGaveUp(int id, const QString &title, const QUrl &page, const QString &reason)
{
    Record *r = find(id);
    if (!r || r->entry.state != DownloadEntry::State::Opening)
        r = addRecord(DownloadEntry::State::NothingCame, title, page);
    r->entry.url = page;
    setState(r, DownloadEntry::State::NothingCame, reason);
}

void DownloadManager::setState(Record *record, DownloadEntry::State state, const QString &reason)
{
    record->entry.state = state;
    record->entry.reason = reason;
    if (state != DownloadEntry::State::Running)
        record->entry.bytesPerSecond = 0;
    writeJournal();
    emit entryChanged(record->entry.id);
}

void DownloadManager::onDownloadRequested(QWebEngineDownloadRequest *request)
{
    if (request->state() != QWebEngineDownloadRequest::DownloadRequested || followResumed(request))
        return;
    HiddenPage *page = DownloadAdmission::payingPage(request);
    if (!page)
        return;
    // The entry the user's action made for it (a row click's), or the one
    // that 重试 or 继续 starts again: the download goes there. One page
    // serves every 重试, so those are known by their address.
    Record *claimed = page == m_retryPage ? takeRetrying(request->url()) : claim(page->grantEntry());
    const int answered = claimed ? claimed->entry.id : 0;
    // The same address already downloading: the user asked again, so show
    // that one instead of starting it twice.
    if (inFlight(request->url(), claimed)) {
        request->cancel();
        if (claimed && claimed->entry.state == DownloadEntry::State::Opening)
            setState(claimed, DownloadEntry::State::NothingCame, QStringLiteral("这个文件已在下载"));
        emit attentionWanted();
        emit clickAnswered(answered);
        return;
    }
    const DownloadAdmission::Decision decision = m_admission.decide(request, page->documentCharset());
    if (!decision.accepted()) {
        failToStart(request, claimed, decision);
        emit clickAnswered(answered);
        return;
    }
    DownloadAdmission::accept(request, decision);
    Record *r = claimed ? claimed : addRecord(DownloadEntry::State::Running, QString(), request->url());
    if (!r->page.isValid() && page != m_retryPage)
        r->page = page->url();
    r->charset = page->documentCharset();
    r->entry.url = request->url();
    start(r, request, decision);
    emit clickAnswered(answered);
}

bool DownloadManager::followResumed(QWebEngineDownloadRequest *request)
{
    // The engine resuming a download (by itself or for 继续) asks again
    // under the same id, with our folder and name forgotten: keep them, and
    // follow the new request object.
    for (const auto &r : m_records) {
        if (r->request && r->request->id() == request->id() && r->request != request) {
            r->request->disconnect(this);
            const QFileInfo target(DownloadFolder::enginePath(r->entry.path));
            request->setDownloadDirectory(target.absolutePath());
            request->setDownloadFileName(target.fileName());
            request->accept();
            watch(r.get(), request);
            return true;
        }
    }
    return false;
}

DownloadManager::Record *DownloadManager::takeRetrying(const QUrl &url)
{
    for (const auto &r : m_records) {
        if (r->retrying && r->entry.url == url) {
            r->retrying = false;
            return r.get();
        }
    }
    return nullptr;
}

DownloadManager::Record *DownloadManager::claim(int id)
{
    Record *r = id > 0 ? find(id) : nullptr;
    if (!r)
        return nullptr;
    if (r->restart) {
        // Started again from its file page: this is the page's download.
        dropRestart(r);
        r->entry.fromEarlierRun = false;
        r->fromPageOnly = false;
        return r;
    }
    // Only a click still waiting takes a download; one that gave up, or
    // got its download already, takes no second.
    return r->entry.state == DownloadEntry::State::Opening ? r : nullptr;
}

bool DownloadManager::inFlight(const QUrl &url, const Record *except) const
{
    return std::any_of(m_records.cbegin(), m_records.cend(), [&](const auto &r) {
        return r.get() != except && r->request && r->entry.isUnfinished() && r->entry.url == url;
    });
}

void DownloadManager::failToStart(QWebEngineDownloadRequest *request, Record *retried,
                                  const DownloadAdmission::Decision &decision)
{
    request->cancel();
    Record *r = retried ? retried : addRecord(DownloadEntry::State::Failed, decision.wanted, request->url());
    r->entry.path.clear();
    setState(r, DownloadEntry::State::Failed, decision.refusal);
    emit downloadFailed(QString(), decision.refusal);
}

void DownloadManager::start(Record *record, QWebEngineDownloadRequest *request,
                            const DownloadAdmission::Decision &decision)
{
    const QFileInfo saved(decision.path);
    record->entry.name = saved.fileName();
    record->entry.path = decision.path;
    record->entry.received = 0;
    record->entry.total = decision.announced;
    record->userCancelled = false;
    record->autoResumed = false;
    record->copyDone = false;
    record->sampledBytes = 0;
    record->sampledMs = m_clock.elapsed();
    record->partial.clear();
    record->wanted = decision.wanted;
    record->landAs.clear();
    record->etag.clear();
    record->modified.clear();
    askServer(record);
    // A file of the wanted name already there: compared once the size is known.
    record->existing = saved.fileName() != decision.wanted ? saved.dir().filePath(decision.wanted) : QString();
    watch(record, request);
    if (!alreadyThere(record)) {
        if (transferring(record) >= MaxRunning) {
            request->pause();
            setState(record, DownloadEntry::State::Waiting);
        } else {
            setState(record, DownloadEntry::State::Running);
        }
    }
    watchTransfers();
    emit downloadStarted(record->entry.path);
    onStateChanged(record->entry.id); // a tiny file may already be complete
}

void DownloadManager::watch(Record *record, QWebEngineDownloadRequest *request)
{
    record->request = request;
    const int id = record->entry.id;
    connect(request, &QWebEngineDownloadRequest::stateChanged, this, [this, id] { onStateChanged(id); });
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, id] { onStateChanged(id); });
    // The size comes with the server's answer, once; not per chunk.
    connect(request, &QWebEngineDownloadRequest::totalBytesChanged, this, [this, id] {
        Record *r = find(id);
        if (!r)
            return;
        checkSpace(r);
        if (r->entry.state == DownloadEntry::State::Running || r->entry.state == DownloadEntry::State::Waiting)
            alreadyThere(r);
    });
}

void DownloadManager::onStateChanged(int id)
{
    Record *r = find(id);
    if (!r || !r->request || !r->entry.isUnfinished())
        return;
    switch (r->request->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted: {
        // Too quick to be paused when its size came: the copy waits under
        // its partial name until the user chooses.
        const QFileInfo existing(r->existing);
        r->copyDone = !r->existing.isEmpty() && existing.isFile() && existing.size() == r->request->receivedBytes();
        finish(r, DownloadEntry::State::Finished, QString());
        break;
    }
    case QWebEngineDownloadRequest::DownloadCancelled:
        // Only our own cancel is the user's; the engine giving up is not.
        finish(r, r->userCancelled ? DownloadEntry::State::Cancelled : DownloadEntry::State::Failed,
               r->userCancelled ? QString() : QStringLiteral("下载中断"));
        break;
    case QWebEngineDownloadRequest::DownloadInterrupted:
        if (r->entry.state != DownloadEntry::State::Interrupted)
            interrupt(r, r->request->interruptReason());
        break;
    case QWebEngineDownloadRequest::DownloadInProgress:
        if (r->entry.state == DownloadEntry::State::Interrupted)
            setState(r, DownloadEntry::State::Running);
        break;
    default:
        break;
    }
}

void DownloadManager::interrupt(Record *record, int reason)
{
    const QString folder = QFileInfo(record->entry.path).absolutePath();
    if (record->request->isFinished()) {
        // The engine cannot continue this one: its partial data is of no use.
        finish(record, DownloadEntry::State::Failed, StopReason::text(reason, folder));
        return;
    }
    // Kept under the engine's temporary name for 继续.
    setState(record, DownloadEntry::State::Interrupted, StopReason::text(reason, folder));
    const int id = record->entry.id;
    const StopReason::Kind kind = StopReason::classify(reason);
    if (kind == StopReason::Kind::Server) {
        // From where the engine asked to continue: the end of its partial file.
        const qint64 kept = QFileInfo(dataPath(record)).size();
        m_probe.ask(record->entry.url, qMax(record->entry.received, kept), this,
                    [this, id, reason, folder](int status) {
                        Record *r = find(id);
                        if (!r)
                            return;
                        if (r->entry.state == DownloadEntry::State::Interrupted && status >= 400)
                            setState(r, DownloadEntry::State::Interrupted, StopReason::text(reason, folder, status));
                        emit downloadFailed(r->entry.path, r->entry.reason);
                    });
    } else {
        emit downloadFailed(record->entry.path, record->entry.reason);
    }
    // A broken connection gets one more try by itself, a little later.
    if (kind == StopReason::Kind::Network && !record->autoResumed) {
        record->autoResumed = true;
        QTimer::singleShot(AutoResumeMs, this, [this, id] {
            const Record *r = find(id);
            if (r && r->entry.state == DownloadEntry::State::Interrupted)
                act(id, DownloadEntry::Resume);
        });
    }
    startQueued();
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
            r->existing.clear();
        if (r->copyDone) {
            r->copyDone = false;
            if (land(r, DownloadFolder::enginePath(r->entry.path)))
                emit downloadFinished(r->entry.path, true);
        } else if (r->entry.fromEarlierRun) {
            continueEarlier(r);
        } else if (!request || request->isFinished()) {
            retry(r);
        } else if (transferring() >= MaxRunning) {
            setState(r, DownloadEntry::State::Waiting);
        } else {
            r->sampledMs = m_clock.elapsed();
            r->sampledBytes = r->entry.received;
            setState(r, DownloadEntry::State::Running);
            request->resume();
            watchTransfers();
        }
        break;
    case DownloadEntry::Cancel:
    case DownloadEntry::Delete:
        cancelByUser(r);
        break;
    case DownloadEntry::OpenExisting: {
        // The file is there already: this copy is not needed.
        const QString existing = r->existing;
        cancelByUser(r);
        r->entry.path = existing;
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

bool DownloadManager::alreadyThere(Record *record)
{
    // The same name and size already in the folder: most likely this very
    // file, so wait for the user's word instead of saving "name (1)".
    if (record->existing.isEmpty() || !record->request || record->request->totalBytes() <= 0)
        return false;
    const QFileInfo existing(record->existing);
    if (!existing.isFile() || existing.size() != record->request->totalBytes()) {
        record->existing.clear();
        return false;
    }
    record->request->pause();
    setState(record, DownloadEntry::State::AlreadyThere, QDir::toNativeSeparators(record->existing));
    startQueued();
    return true;
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
    record->retrying = false;
    dropFetch(record);
    if (!ok)
        m_leftovers.add(path);
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
            connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, request, path] {
                m_leftovers.add(path);
                request->deleteLater();
            });
            if (request->state() != QWebEngineDownloadRequest::DownloadCancelled)
                request->cancel();
        }
        record->request = nullptr;
    }
    if (ok && record->copyDone) {
        setState(record, DownloadEntry::State::AlreadyThere, QDir::toNativeSeparators(record->existing));
    } else if (ok && record->asking) {
        // Complete before the server said what the file is called: it lands
        // under that name once it has (a few seconds at most).
        record->partial = DownloadFolder::enginePath(path);
        record->landOnAnswer = true;
        emit entryChanged(record->entry.id);
    } else if (ok) {
        // The engine saved it under its partial name.
        if (land(record, DownloadFolder::enginePath(path)))
            emit downloadFinished(record->entry.path, true);
    } else {
        setState(record, state, reason);
        emit downloadFailed(path, state == DownloadEntry::State::Cancelled ? QStringLiteral("已取消") : reason);
        emit downloadFinished(path, false);
    }
    startQueued();
}

bool DownloadManager::land(Record *record, const QString &from)
{
    const QString landed = DownloadFolder::landAndTidy(from, record->entry.path, record->landAs);
    if (landed.isEmpty()) {
        const QString directory = QFileInfo(record->entry.path).absolutePath();
        m_leftovers.add(record->entry.path);
        setState(record, DownloadEntry::State::Failed, StopReason::unwritableText(directory));
        emit downloadFailed(record->entry.path, record->entry.reason);
        emit downloadFinished(record->entry.path, false);
        return false;
    }
    record->entry.path = landed;
    record->entry.name = QFileInfo(landed).fileName();
    record->partial.clear();
    setState(record, DownloadEntry::State::Finished);
    return true;
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
        if (r->entry.isUnfinished() || r->retrying)
            return false;
        ids << r->entry.id;
        return true;
    });
    if (!ids.isEmpty())
        emit entriesRemoved(ids);
}
