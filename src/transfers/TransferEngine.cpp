// What the engine asks of a transfer, and what its source reports: the
// engine's request, and what its server says of the file.
#include <QDir>
#include <QFileInfo>

#include "Transfer.h"

bool Transfer::claim()
{
    if (isRestarting()) {
        // Started again from its file page: this is the page's download.
        m_source.dropRestart();
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
    m_source.dropRestart();
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
    m_server.begin(request->mimeType(), decision.wanted, charset);
    // A file of the wanted name already there: compared once the size is known.
    m_existing = saved.fileName() != decision.wanted ? saved.dir().filePath(decision.wanted) : QString();
    m_source.watch(request, decision.path, true);
    m_source.restartClock(0);
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
    m_source.ask(m_entry.url, m_page);
    alreadyThere();
    m_source.check(); // a tiny file may already be complete
}

void Transfer::follow(EngineDownload *request)
{
    m_source.follow(request);
}

void Transfer::listen()
{
    connect(&m_source, &TransferSource::ended, this, &Transfer::onEnded);
    connect(&m_source, &TransferSource::broke, this, &Transfer::onBroke);
    connect(&m_source, &TransferSource::running, this, [this] {
        if (m_state == State::Interrupted)
            on(Event::Run);
    });
    connect(&m_source, &TransferSource::tryAgain, this, [this] {
        if (m_state == State::Interrupted)
            act(DownloadEntry::Resume);
    });
    connect(&m_source, &TransferSource::sizeKnown, this, [this] {
        checkSpace();
        if (m_state == State::Running || m_state == State::Queued)
            alreadyThere();
    });
    connect(&m_source, &TransferSource::fetchEnded, this, &Transfer::onFetchEnded);
    connect(&m_source, &TransferSource::gaveUp, this, [this](const QString &why) { on(Event::Fail, why); });
    connect(&m_source, &TransferSource::answered, this, &Transfer::onNamed);
}

void Transfer::onEnded(Event event, const QString &reason)
{
    if (!m_entry.isUnfinished())
        return;
    // Too quick to be paused when its size came: the copy waits under its
    // partial name until the user chooses.
    const QFileInfo existing(m_existing);
    if (event == Event::Complete && !m_existing.isEmpty() && existing.isFile()
        && existing.size() == m_source.request()->receivedBytes())
        event = Event::Collide;
    finish(event, reason);
}

// Its server's word on why comes later, and counts while it is still broken
// off.
void Transfer::onBroke(const QString &reason, bool again)
{
    if (!m_entry.isUnfinished() || (again && m_state != State::Interrupted))
        return;
    on(Event::Break, reason);
    if (!again)
        emit slotFreed();
}

void Transfer::onNamed(const ServerProbe::Validators &said)
{
    if (m_server.changed(said)) {
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
    EngineDownload *request = m_source.request();
    if (m_existing.isEmpty() || !request || request->totalBytes() <= 0)
        return false;
    const QFileInfo existing(m_existing);
    if (!existing.isFile() || existing.size() != request->totalBytes()) {
        m_existing.clear();
        return false;
    }
    if (!next(m_state, Event::FindThere))
        return false;
    request->pause();
    on(Event::FindThere, QDir::toNativeSeparators(m_existing));
    emit slotFreed();
    return true;
}
