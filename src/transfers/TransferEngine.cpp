// What the engine asks and reports of a transfer's download, and what its
// server says of the file.
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "ServerProbe.h"
#include "Transfer.h"

bool Transfer::claim()
{
    if (isRestarting()) {
        // Started again from its file page: this is the page's download.
        dropRestart();
        m_entry.fromEarlierRun = false;
        m_restartsFromPage = false;
        return true;
    }
    // Only a click still waiting takes a download; one that gave up, or got
    // its download already, takes no second.
    return m_state == State::Opening;
}

bool Transfer::takes(EngineDownload *request)
{
    const QString refusal = m_server.refusal(request->mimeType(), request->totalBytes());
    if (refusal.isEmpty())
        return true;
    request->cancel();
    dropRestart();
    on(Event::Fail, refusal);
    return false;
}

void Transfer::refuse(EngineDownload *request, const QString &reason)
{
    request->cancel();
    m_entry.path.clear();
    on(Event::Fail, reason);
}

void Transfer::start(EngineDownload *request, const DownloadAdmission::Decision &decision, const QUrl &page,
                     const QString &charset)
{
    if (!m_page.isValid())
        m_page = page;
    const QFileInfo saved(decision.path);
    m_entry.url = request->url();
    m_entry.name = saved.fileName();
    m_entry.path = decision.path;
    m_entry.received = 0;
    m_entry.total = decision.announced;
    m_files.begin(decision.reserved);
    m_userCancelled = false;
    m_autoResumed = false;
    m_sampled = {0, m_shared.clock.elapsed()};
    m_server.begin(request->mimeType(), decision.wanted, charset);
    // A file of the wanted name already there: compared once the size is known.
    m_existing = saved.fileName() != decision.wanted ? saved.dir().filePath(decision.wanted) : QString();
    watch(request);
    const bool run = m_shared.slotFree(this);
    if (!run)
        request->pause();
    // Only a click's or a restart's transfer is started, and the table takes
    // both; anything else keeps its state rather than guess one.
    if (const std::optional<State> to = next(m_state, run ? Event::Run : Event::Queue))
        setState(*to);
}

void Transfer::begin()
{
    askServer();
    alreadyThere();
    onRequestStateChanged(); // a tiny file may already be complete
}

void Transfer::follow(EngineDownload *request)
{
    m_request->disconnect(this);
    request->accept(DownloadFolder::reservedPath(m_entry.path));
    watch(request);
}

void Transfer::watch(EngineDownload *request)
{
    m_request = request;
    connect(request, &EngineDownload::stateChanged, this, &Transfer::onRequestStateChanged);
    connect(request, &EngineDownload::finishedChanged, this, &Transfer::onRequestStateChanged);
    // The size comes with the server's answer, once; not per chunk.
    connect(request, &EngineDownload::totalBytesChanged, this, [this] {
        checkSpace();
        if (m_state == State::Running || m_state == State::Queued)
            alreadyThere();
    });
}

void Transfer::onRequestStateChanged()
{
    if (!m_request || !m_entry.isUnfinished())
        return;
    switch (m_request->state()) {
    case EngineDownload::State::Completed: {
        // Too quick to be paused when its size came: the copy waits under its
        // partial name until the user chooses.
        const QFileInfo existing(m_existing);
        const bool collides
            = !m_existing.isEmpty() && existing.isFile() && existing.size() == m_request->receivedBytes();
        finish(collides ? Event::Collide : Event::Complete, QString());
        break;
    }
    case EngineDownload::State::Cancelled:
        // Only our own cancel is the user's; the engine giving up is not.
        finish(m_userCancelled ? Event::Cancel : Event::Fail,
               m_userCancelled ? QString() : StopReason::engineGaveUpText());
        break;
    case EngineDownload::State::Interrupted:
        if (m_state != State::Interrupted)
            onInterrupted(m_request->interruptReason());
        break;
    case EngineDownload::State::InProgress:
        if (m_state == State::Interrupted)
            on(Event::Run);
        break;
    default:
        break;
    }
}

void Transfer::onInterrupted(int reason)
{
    const QString folder = QFileInfo(m_entry.path).absolutePath();
    if (m_request->isFinished()) {
        // The engine cannot continue this one: its partial data is of no use.
        finish(Event::Fail, StopReason::text(reason, folder));
        return;
    }
    // Kept under the engine's temporary name for 继续.
    const StopReason::Kind kind = StopReason::classify(reason);
    if (kind == StopReason::Kind::Server) {
        on(Event::Break, StopReason::text(reason, folder));
        // From where the engine asked to continue: the end of its partial file.
        const qint64 kept = QFileInfo(dataPath()).size();
        m_shared.probe->ask(m_entry.url, qMax(m_entry.received, kept), this, [this, reason, folder](int status) {
            if (m_state == State::Interrupted && status >= 400)
                on(Event::Break, StopReason::text(reason, folder, status));
        });
    } else {
        on(Event::Break, StopReason::text(reason, folder));
    }
    // A broken connection gets one more try by itself, a little later.
    if (kind == StopReason::Kind::Network && !m_autoResumed) {
        m_autoResumed = true;
        QTimer::singleShot(AutoResumeMs, this, [this] {
            if (m_state == State::Interrupted)
                act(DownloadEntry::Resume);
        });
    }
    emit slotFreed();
}

void Transfer::askServer()
{
    const quint64 question = m_asking = ++m_shared.questions;
    m_shared.probe->validators(m_entry.url, m_page, this,
                               [this, question](const ServerProbe::Validators &v) { onNamed(question, v); });
}

void Transfer::onNamed(quint64 question, const ServerProbe::Validators &said)
{
    if (m_asking != question)
        return;
    m_asking = 0;
    if (m_server.changed(said)) {
        if (m_request)
            m_request->cancel();
        finish(Event::Fail, StopReason::changedText());
        return;
    }
    if (m_server.answer(said, m_entry.total)) {
        m_entry.name = m_server.landAs;
        emit progressed(m_entry.id);
    }
    // Complete meanwhile: it lands now, unless the user paused it.
    if (m_state == State::Complete) {
        landOrSay(dataPath());
        emit slotFreed();
        return;
    }
    emit changed(m_entry.id); // its validators, for the journal
}

bool Transfer::alreadyThere()
{
    // The same name and size already in the folder: most likely this very
    // file, so wait for the user's word instead of saving "name (1)".
    if (m_existing.isEmpty() || !m_request || m_request->totalBytes() <= 0)
        return false;
    const QFileInfo existing(m_existing);
    if (!existing.isFile() || existing.size() != m_request->totalBytes()) {
        m_existing.clear();
        return false;
    }
    if (!next(m_state, Event::FindThere))
        return false;
    m_request->pause();
    on(Event::FindThere, QDir::toNativeSeparators(m_existing));
    emit slotFreed();
    return true;
}
