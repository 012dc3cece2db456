#include "Transfer.h"

#include <QFileInfo>

Transfer::Transfer(TransferShared &shared, int id, State state, const QString &name, const QUrl &url,
                   const QString &reason)
    : m_shared(shared)
    , m_entry {.id = id, .name = name, .url = url}
    , m_state(state)
    , m_source(shared, this)
{
    listen();
    setState(state, reason);
}

Transfer::Transfer(TransferShared &shared, int id, const JournalEntry &kept)
    : Transfer(shared, id, kept.complete ? State::CompleteKept : State::Interrupted,
               kept.name.isEmpty() ? QFileInfo(kept.path).fileName() : kept.name, kept.url,
               StopReason::earlierRunText())
{
    m_entry.path = kept.path;
    m_entry.received = kept.bytes;
    m_entry.total = kept.total;
    m_entry.fromEarlierRun = true;
    m_server = ServerFile::kept(kept);
    m_source.keptAt(kept.path, TransferFiles(kept.files, kept.partial));
    m_restartsFromPage = kept.restartsFromPage();
    // The choice the list offered, offered again.
    m_existing = SameFile::kept(kept.existing);
    if (m_existing.isKnown())
        setState(kept.complete ? State::CompleteThere : State::AlreadyThere, m_existing.shown());
}

// Without a word to anyone: the callers announce.
void Transfer::setState(State state, const QString &reason)
{
    m_state = state;
    m_entry.state = shown(state);
    m_entry.reason = reason;
    if (m_entry.state != DownloadEntry::State::Running)
        m_entry.bytesPerSecond = 0;
}

bool Transfer::on(Event event, const QString &reason)
{
    const std::optional<State> to = next(m_state, event);
    if (!to)
        return false;
    // Its slot frees as it stops moving data; not as the program ends.
    const bool frees = m_state == State::Running && *to != State::Running && event != Event::Keep;
    setState(*to, reason);
    emit changed(m_entry.id);
    if (frees)
        emit slotFreed();
    return true;
}

void Transfer::act(DownloadEntry::Action action)
{
    if (!m_entry.actions().testFlag(action))
        return;
    switch (action) {
    case DownloadEntry::Pause:
        m_source.stop();
        on(Event::Pause);
        break;
    case DownloadEntry::DownloadAnyway:
        if (m_state == State::AlreadyThere)
            m_existing = {};
        [[fallthrough]];
    case DownloadEntry::Resume:
        resume();
        break;
    case DownloadEntry::Cancel:
    case DownloadEntry::Delete:
        cancelByUser();
        break;
    case DownloadEntry::OpenExisting:
        // The file is there already: this copy is not needed.
        m_source.drop();
        m_entry.path = m_existing.path();
        m_entry.name = QFileInfo(m_entry.path).fileName();
        on(Event::Land);
        break;
    case DownloadEntry::Retry:
        restart(true);
        break;
    default:
        break;
    }
}

void Transfer::cancelByUser()
{
    m_source.drop();
    on(Event::Cancel);
}

void Transfer::finish(Event event, const QString &reason)
{
    const bool ok = event == Event::Complete || event == Event::Collide;
    if (ok) {
        m_source.complete(m_entry);
    } else {
        m_source.drop(); // nothing lands of it, whatever its server says later
    }
    if (event == Event::Collide) {
        on(Event::Collide, m_existing.shown());
    } else if (ok && m_source.isAsking()) {
        // Complete before the server said what the file is called: it lands
        // under that name once it has (a few seconds at most). Journalled as
        // complete, should the program end meanwhile.
        on(Event::Complete);
    } else if (ok) {
        landOrSay(m_source.dataPath());
    } else {
        on(event, reason);
    }
}

void Transfer::landOrSay(const QString &from)
{
    const QString landed = m_source.land(from, m_entry.path, m_server.landAs);
    if (landed.isEmpty()) {
        // The entry says where the data stayed.
        on(Event::Fail, StopReason::notMovedText(QFileInfo(m_entry.path).absolutePath(), from));
        return;
    }
    m_entry.path = landed;
    m_entry.name = QFileInfo(landed).fileName();
    on(Event::Land);
}

void Transfer::keep()
{
    if (!m_entry.isUnfinished() || m_entry.path.isEmpty())
        return;
    if (m_state == State::Complete || m_state == State::CompletePaused) {
        // Complete: it lands now, under the name it has.
        landOrSay(m_source.dataPath());
        return;
    }
    if (const qint64 received = m_source.keepRequest(m_state == State::CompleteThere); received >= 0)
        m_entry.received = qMax(m_entry.received, received);
    m_entry.fromEarlierRun = true;
    on(Event::Keep, offersChoice(m_state) ? m_entry.reason : StopReason::earlierRunText());
}

bool Transfer::sample(qint64 now)
{
    if (m_entry.state != DownloadEntry::State::Running || !m_source.movesData())
        return false;
    if (m_source.sample(m_entry, now) && !alreadyThere())
        emit progressed(m_entry.id);
    return true;
}

void Transfer::checkSpace()
{
    // What it still announces must fit, and what it writes must not outgrow
    // the disk. A waiting one takes no room yet.
    if (m_entry.state != DownloadEntry::State::Running || !m_source.movesData())
        return;
    if (const QString full = m_source.noRoom(m_entry); !full.isEmpty())
        finish(Event::Fail, full);
}

std::optional<JournalEntry> Transfer::journalEntry() const
{
    const DownloadEntry &e = m_entry;
    if (!e.isUnfinished() || e.path.isEmpty())
        return std::nullopt;
    const bool kept = m_state == State::CompleteThere || m_state == State::CompleteKept;
    JournalEntry journalled {.url = e.url,
                             .path = e.path,
                             .partial = m_source.files().journalled(e.path, kept),
                             .bytes = e.received,
                             .total = e.total,
                             .files = m_source.files().made(),
                             .complete = holdsAllData(m_state),
                             // the choice between it and the same file, where the list offers it
                             .existing = offersChoice(m_state) ? m_existing.path() : QString()};
    m_server.keepIn(journalled);
    return journalled;
}

// What the engine asks of it, and what its source reports.

bool Transfer::claim()
{
    if (isRestarting()) {
        // Started again from its file page: this is the page's download.
        m_source.dropRestart();
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
    if (!m_server.page.isValid())
        m_server.page = page;
    m_entry.url = request->url();
    m_entry.name = QFileInfo(decision.path).fileName();
    m_entry.path = decision.path;
    m_entry.received = 0;
    m_entry.total = decision.announced;
    m_server.begin(request->mimeType(), decision.wanted, charset);
    // A file of the wanted name already there: compared once the size is known.
    m_existing = SameFile::beside(decision.path, decision.wanted);
    m_source.begin(request, decision.path, decision.reserved);
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
    m_source.ask(m_entry.url, m_server.page);
    alreadyThere();
    m_source.check(); // a tiny file may already be complete
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
        alreadyThere();
    });
    connect(&m_source, &TransferSource::madeFile, this, [this] { emit changed(m_entry.id); });
    connect(&m_source, &TransferSource::gaveUp, this, [this](const QString &why) { on(Event::Fail, why); });
    connect(&m_source, &TransferSource::answered, this, &Transfer::onNamed);
}

void Transfer::onEnded(Event event, const QString &reason)
{
    if (!m_entry.isUnfinished())
        return;
    // Too quick to be paused when its size came: the copy waits under its
    // partial name until the user chooses.
    if (event == Event::Complete && m_source.request() && m_existing.holds(m_source.request()->receivedBytes()))
        event = Event::Collide;
    finish(event, reason);
}

// Its server's word on why comes later, and counts while it is still broken
// off. The engine's request reads 0 bytes while broken off.
void Transfer::onBroke(const QString &reason, bool again, bool fromPage)
{
    if (!m_entry.isUnfinished() || (again && m_state != State::Interrupted))
        return;
    m_entry.received = qMax(m_entry.received, m_source.received(0));
    m_restartsFromPage = m_restartsFromPage || fromPage;
    on(Event::Break, reason);
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
        landOrSay(m_source.dataPath());
        return;
    }
    emit changed(m_entry.id); // its validators, for the journal
}

bool Transfer::alreadyThere()
{
    // The same name and size already in the folder: most likely this very
    // file, so wait for the user's word instead of saving "name (1)".
    EngineDownload *request = m_source.request();
    if (!request || request->totalBytes() <= 0 || !m_existing.holds(request->totalBytes())
        || !next(m_state, Event::FindThere))
        return false;
    request->pause();
    on(Event::FindThere, m_existing.shown());
    return true;
}

// On from where it stands: 继续, and 重试 from its file page (or its
// address), or the rest of an earlier run's data by a ranged request.

void Transfer::resume()
{
    switch (m_state) {
    case State::CompletePaused:
        on(Event::Continue);
        if (!m_source.isAsking())
            landOrSay(m_source.dataPath());
        return;
    case State::CompleteThere:
    case State::CompleteKept:
        landOrSay(DownloadFolder::reservedPath(m_entry.path));
        return;
    default:
        break;
    }
    if (m_entry.fromEarlierRun) {
        continueEarlier();
    } else if (!request() || request()->isFinished()) {
        restart(true);
    } else if (!m_shared.slotFree(this)) {
        on(Event::Queue);
    } else {
        m_source.restartClock(m_entry.received);
        on(Event::Run);
        m_source.resumeRequest();
    }
}

void Transfer::continueEarlier()
{
    if (m_restartsFromPage) {
        // The user was told it starts again from its page: a new version is
        // what they asked for, but no web page where the file was.
        restart(false);
        return;
    }
    if (!m_shared.slotFree(this)) {
        on(Event::Queue);
        return;
    }
    m_source.fetchRest(
        {.url = m_entry.url, .referer = m_server.page, .total = m_entry.total, .validator = m_server.validator()});
    m_entry.received = m_source.received(m_entry.received);
    on(Event::Run);
}

// 重试, and 继续 of what the engine cannot continue: from the file page
// where one is known, as the user's click did (its Referer, its cookies, its
// charset for the name), else from the address. It must bring the same file
// again, or a new version of it.
void Transfer::restart(bool sameVersion)
{
    const bool fromPage = m_server.page.isValid();
    const QUrl url = fromPage ? m_server.page : m_entry.url;
    if (!url.isValid() || !next(m_state, Event::Restart))
        return;
    m_server.expectAgain(m_entry.path, m_entry.total, sameVersion);
    // Never a file of two versions: what was fetched of the other goes, and
    // what comes is a download of its own.
    m_source.letGo();
    m_entry.received = 0;
    m_restartsFromPage = false;
    m_entry.fromEarlierRun = false;
    on(Event::Restart, fromPage ? StopReason::fromItsPageText() : StopReason::fromItsAddressText());
    m_source.restartFrom(url, m_entry.id, fromPage);
}
