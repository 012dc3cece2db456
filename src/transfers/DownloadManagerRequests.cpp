// What the engine asks and reports of a download: its request admitted to
// an entry, its state as it goes, and what its server says of the file.
#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>

#include "DownloadManager.h"
#include "FileNames.h"
#include "HiddenPage.h"
#include "StopReason.h"

void DownloadManager::onDownloadRequested(QWebEngineDownloadRequest *request)
{
    if (request->state() != QWebEngineDownloadRequest::DownloadRequested || followResumed(request))
        return;
    HiddenPage *page = DownloadAdmission::payingPage(request);
    if (!page)
        return;
    // The entry the user's action made for it (a row click's), or the one
    // that 重试 or 继续 starts again: the download goes there, whatever its
    // address has become.
    const Record *asked = find(page->grantEntry());
    const bool fromAddress = asked && asked->retryPage; // its page is no file page
    Record *claimed = claim(page->grantEntry());
    const int answered = claimed ? claimed->entry.id : 0;
    // The same address already downloading: the user asked again, so show
    // that one instead of starting it twice.
    if (inFlight(request->url(), claimed)) {
        request->cancel();
        if (claimed && claimed->entry.state == DownloadEntry::State::Opening)
            setState(claimed, DownloadEntry::State::NothingCame, StopReason::downloadingAlreadyText());
        emit attentionWanted();
        emit clickAnswered(answered);
        return;
    }
    if (claimed && notTheFile(claimed, request)) {
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
    Record *r = claimed ? claimed : makeRecord(DownloadEntry::State::Running, QString(), request->url());
    if (!r->page.isValid() && !fromAddress)
        r->page = page->url();
    r->charset = page->documentCharset();
    r->entry.url = request->url();
    start(r, request, decision, !claimed);
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
            const QFileInfo target(DownloadFolder::reservedPath(r->entry.path));
            request->setDownloadDirectory(target.absolutePath());
            request->setDownloadFileName(target.fileName());
            request->accept();
            watch(r.get(), request);
            return true;
        }
    }
    return false;
}

// What 重试 or 继续 brings must be the file that was begun: not a web page
// where a file was, nor another length or version. Anything else is refused
// with its reason, and the entry waits for the user.
bool DownloadManager::notTheFile(Record *record, QWebEngineDownloadRequest *request)
{
    const auto &was = record->expected;
    const bool page = request->mimeType().startsWith(QLatin1String("text/html")) && !was.mimeType.isEmpty()
                      && !was.mimeType.startsWith(QLatin1String("text/html"));
    const bool length = was.total > 0 && request->totalBytes() > 0 && request->totalBytes() != was.total;
    if (!page && !length)
        return false;
    request->cancel();
    dropRestart(record);
    fail(record, DownloadEntry::State::Failed,
         page ? StopReason::notTheFileText() : StopReason::otherLengthText(was.total, request->totalBytes()));
    return true;
}

DownloadManager::Record *DownloadManager::claim(int id)
{
    Record *r = id > 0 ? find(id) : nullptr;
    if (!r)
        return nullptr;
    if (r->restart || r->retryPage) {
        // Started again from its file page: this is the page's download.
        dropRestart(r);
        r->entry.fromEarlierRun = false;
        r->restartsFromPage = false;
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

void DownloadManager::failToStart(QWebEngineDownloadRequest *request, Record *claimed,
                                  const DownloadAdmission::Decision &decision)
{
    request->cancel();
    if (claimed) {
        claimed->entry.path.clear();
        fail(claimed, DownloadEntry::State::Failed, decision.refusal);
        return;
    }
    Record *r = makeRecord(DownloadEntry::State::Failed, decision.wanted, request->url());
    r->entry.reason = decision.refusal;
    emit entryAdded(r->entry.id);
    emit downloadFailed(QString(), decision.refusal);
}

// Announced once, as the admission decided it: new to the list, or the
// entry it was claimed for.
void DownloadManager::start(Record *record, QWebEngineDownloadRequest *request,
                            const DownloadAdmission::Decision &decision, bool isNew)
{
    const QFileInfo saved(decision.path);
    DownloadEntry &e = record->entry;
    e.name = saved.fileName();
    e.path = decision.path;
    e.received = 0;
    e.total = decision.announced;
    e.reason.clear();
    e.bytesPerSecond = 0;
    record->files = {.reserved = decision.reserved};
    record->mimeType = request->mimeType();
    record->userCancelled = false;
    record->autoResumed = false;
    record->completedWhileAsked = false;
    record->sampled = {0, m_clock.elapsed()};
    record->partial.clear();
    record->wanted = decision.wanted;
    record->landAs.clear();
    record->etag.clear();
    record->modified.clear();
    // A file of the wanted name already there: compared once the size is known.
    record->existingPath = saved.fileName() != decision.wanted ? saved.dir().filePath(decision.wanted) : QString();
    watch(record, request);
    e.state = runningCount(record) >= MaxRunning ? DownloadEntry::State::Waiting : DownloadEntry::State::Running;
    if (e.state == DownloadEntry::State::Waiting)
        request->pause();
    if (isNew)
        emit entryAdded(e.id);
    else
        emit entryChanged(e.id);
    journalChanged();
    askServer(record);
    alreadyThere(record);
    watchTransfers();
    emit downloadStarted(e.path);
    onRequestStateChanged(e.id); // a tiny file may already be complete
}

void DownloadManager::watch(Record *record, QWebEngineDownloadRequest *request)
{
    record->request = request;
    const int id = record->entry.id;
    connect(request, &QWebEngineDownloadRequest::stateChanged, this, [this, id] { onRequestStateChanged(id); });
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, id] { onRequestStateChanged(id); });
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

void DownloadManager::onRequestStateChanged(int id)
{
    Record *r = find(id);
    if (!r || !r->request || !r->entry.isUnfinished())
        return;
    switch (r->request->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted: {
        // Too quick to be paused when its size came: the copy waits under
        // its partial name until the user chooses.
        const QFileInfo existing(r->existingPath);
        r->completedWhileAsked
            = !r->existingPath.isEmpty() && existing.isFile() && existing.size() == r->request->receivedBytes();
        finish(r, DownloadEntry::State::Finished, QString());
        break;
    }
    case QWebEngineDownloadRequest::DownloadCancelled:
        // Only our own cancel is the user's; the engine giving up is not.
        finish(r, r->userCancelled ? DownloadEntry::State::Cancelled : DownloadEntry::State::Failed,
               r->userCancelled ? QString() : StopReason::engineGaveUpText());
        break;
    case QWebEngineDownloadRequest::DownloadInterrupted:
        if (r->entry.state != DownloadEntry::State::Interrupted)
            onInterrupted(r, r->request->interruptReason());
        break;
    case QWebEngineDownloadRequest::DownloadInProgress:
        if (r->entry.state == DownloadEntry::State::Interrupted)
            setState(r, DownloadEntry::State::Running);
        break;
    default:
        break;
    }
}

void DownloadManager::onInterrupted(Record *record, int reason)
{
    const QString folder = QFileInfo(record->entry.path).absolutePath();
    if (record->request->isFinished()) {
        // The engine cannot continue this one: its partial data is of no use.
        finish(record, DownloadEntry::State::Failed, StopReason::text(reason, folder));
        return;
    }
    // Kept under the engine's temporary name for 继续.
    const int id = record->entry.id;
    const StopReason::Kind kind = StopReason::classify(reason);
    if (kind == StopReason::Kind::Server) {
        setState(record, DownloadEntry::State::Interrupted, StopReason::text(reason, folder));
        // From where the engine asked to continue: the end of its partial file.
        const qint64 kept = QFileInfo(dataPath(record)).size();
        m_probe.ask(record->entry.url, qMax(record->entry.received, kept), this,
                    [this, id, reason, folder](int status) {
                        Record *r = find(id);
                        if (!r)
                            return;
                        if (r->entry.state == DownloadEntry::State::Interrupted && status >= 400)
                            fail(r, DownloadEntry::State::Interrupted, StopReason::text(reason, folder, status));
                        else
                            emit downloadFailed(r->entry.path, r->entry.reason);
                    });
    } else {
        fail(record, DownloadEntry::State::Interrupted, StopReason::text(reason, folder));
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

namespace {

bool changedFile(const QByteArray &was, const QByteArray &now)
{
    return !was.isEmpty() && !now.isEmpty() && was != now;
}

} // namespace

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
        if (changedFile(r->expected.etag, v.etag) || changedFile(r->expected.modified, v.modified)) {
            if (r->request)
                r->request->cancel();
            finish(r, DownloadEntry::State::Failed, StopReason::changedText());
            return;
        }
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
        // Complete meanwhile: it lands now, unless the user paused it.
        if (r->landOnAnswer && r->entry.state == DownloadEntry::State::Running) {
            landCompleted(r);
            startQueued();
            return;
        }
        journalChanged();
    });
}

bool DownloadManager::alreadyThere(Record *record)
{
    // The same name and size already in the folder: most likely this very
    // file, so wait for the user's word instead of saving "name (1)".
    if (record->existingPath.isEmpty() || !record->request || record->request->totalBytes() <= 0)
        return false;
    const QFileInfo existing(record->existingPath);
    if (!existing.isFile() || existing.size() != record->request->totalBytes()) {
        record->existingPath.clear();
        return false;
    }
    record->request->pause();
    setState(record, DownloadEntry::State::AlreadyThere, QDir::toNativeSeparators(record->existingPath));
    startQueued();
    return true;
}
