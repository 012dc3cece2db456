// One download: the user's actions on it, its end and its landing, and what
// it keeps for the journal.
#include "Transfer.h"

#include <QDir>
#include <QFileInfo>

Transfer::Transfer(TransferShared &shared, int id, State state, const QString &name, const QUrl &url,
                   const QString &reason)
    : m_shared(shared)
    , m_state(state)
    , m_source(shared, this)
{
    listen();
    m_entry.id = id;
    m_entry.name = name;
    m_entry.url = url;
    setState(state, reason);
}

Transfer::Transfer(TransferShared &shared, int id, const JournalEntry &kept)
    : Transfer(shared, id, kept.complete ? State::CompleteKept : State::Interrupted,
               kept.name.isEmpty() ? QFileInfo(kept.path).fileName() : kept.name, kept.url)
{
    m_entry.reason = StopReason::earlierRunText();
    m_entry.path = kept.path;
    m_entry.received = kept.bytes;
    m_entry.total = kept.total;
    m_entry.fromEarlierRun = true;
    m_page = kept.page;
    m_title = kept.title;
    m_server.etag = kept.etag;
    m_server.modified = kept.modified;
    m_server.mimeType = kept.mimeType;
    m_server.landAs = kept.name;
    m_files = TransferFiles(kept.files, kept.partial);
    // Without a validator the rest could be of another file; without data
    // there is no rest.
    m_restartsFromPage = kept.partial.isEmpty() || (!kept.complete && kept.etag.isEmpty() && kept.modified.isEmpty());
    // The choice the list offered, offered again.
    if (!kept.existing.isEmpty() && QFileInfo(kept.existing).isFile()) {
        m_existing = kept.existing;
        setState(kept.complete ? State::CompleteThere : State::AlreadyThere, QDir::toNativeSeparators(kept.existing));
    }
}

Transfer::~Transfer() = default;

void Transfer::setPage(const QUrl &page, const QString &title)
{
    m_page = page;
    m_title = title;
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
    setState(*to, reason);
    emit changed(m_entry.id);
    return true;
}

void Transfer::giveUp(const QString &reason)
{
    on(Event::GiveUp, reason);
}

void Transfer::act(DownloadEntry::Action action)
{
    if (!m_entry.actions().testFlag(action))
        return;
    switch (action) {
    case DownloadEntry::Pause:
        m_source.stop();
        on(Event::Pause);
        emit slotFreed();
        break;
    case DownloadEntry::DownloadAnyway:
        if (m_state == State::AlreadyThere)
            m_existing.clear();
        resume();
        break;
    case DownloadEntry::Resume:
        resume();
        break;
    case DownloadEntry::Cancel:
    case DownloadEntry::Delete:
        cancelByUser();
        break;
    case DownloadEntry::OpenExisting: {
        // The file is there already: this copy is not needed.
        const QString existing = m_existing;
        dropCopy();
        m_entry.path = existing;
        m_entry.name = QFileInfo(existing).fileName();
        on(Event::Land);
        emit slotFreed();
        break;
    }
    case DownloadEntry::Retry:
        retry();
        break;
    default:
        break;
    }
}

void Transfer::cancelByUser()
{
    dropCopy();
    if (m_entry.isUnfinished()) {
        on(Event::Cancel);
        emit slotFreed();
    }
}

// Stops whatever moves its data, and what it made goes.
void Transfer::dropCopy()
{
    m_source.dropFetch();
    m_source.dropRestart();
    m_source.forget();
    endRequest(false); // the engine's request cancelled, its signals no more ours
    m_files.handTo(m_shared.leftovers, m_entry.path);
}

void Transfer::finish(Event event, const QString &reason)
{
    const bool ok = event == Event::Complete || event == Event::Collide;
    const QString path = m_entry.path;
    if (ok) {
        m_source.dropFetch();
        endRequest(true);
    } else {
        dropCopy(); // nothing lands of it, whatever its server says later
    }
    if (event == Event::Collide) {
        on(Event::Collide, QDir::toNativeSeparators(m_existing));
    } else if (ok && m_source.isAsking()) {
        // Complete before the server said what the file is called: it lands
        // under that name once it has (a few seconds at most). Journalled as
        // complete, should the program end meanwhile.
        m_files.dataAtReservation(path);
        on(Event::Complete);
    } else if (ok) {
        // The engine saved it under its partial name.
        landOrSay(DownloadFolder::reservedPath(path));
    } else {
        on(event, reason);
    }
    emit slotFreed();
}

void Transfer::endRequest(bool complete)
{
    if (EngineDownload *request = m_source.request(); request && complete) {
        m_entry.received = request->receivedBytes();
        m_entry.total = request->totalBytes();
        // The engine moved its file to the partial name: that is our data.
        m_files.engineFinished(m_entry.path);
    }
    m_source.endRequest();
}

void Transfer::landOrSay(const QString &from)
{
    const QString landed = m_files.land(*m_shared.folder, from, m_entry.path, m_server.landAs);
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
        landOrSay(dataPath());
        return;
    }
    const bool there = offersChoice(m_state);
    if (const qint64 received = m_source.keepRequest(); received >= 0) {
        m_entry.received = qMax(m_entry.received, received);
        // The engine deletes its partial file when it ends; the data moves to
        // the name the download reserved (empty until now).
        if (m_state != State::CompleteThere)
            m_files.keepEngineData(m_entry.path);
    }
    if (m_state == State::CompleteThere)
        m_files.dataAtReservation(m_entry.path);
    m_entry.fromEarlierRun = true;
    on(Event::Keep, there ? m_entry.reason : StopReason::earlierRunText());
}

bool Transfer::sample(qint64 now)
{
    DownloadEntry &e = m_entry;
    if (e.state != DownloadEntry::State::Running || !m_source.movesData())
        return false;
    // The engine's file, known from its first sight on: only that goes.
    if (m_source.request() && m_files.noticeEngineFile(e.path))
        emit changed(e.id); // a crash from now on leaves data the next start knows
    if (m_source.sample(e, now) && !alreadyThere())
        emit progressed(e.id);
    return true;
}

void Transfer::checkSpace()
{
    // What it still announces must fit, and what it writes must not outgrow
    // the disk. A waiting one takes no room yet.
    if (m_entry.state != DownloadEntry::State::Running || !m_source.movesData())
        return;
    const QString full = m_shared.folder->noRoom(QFileInfo(m_entry.path).absolutePath(),
                                                 m_source.total(m_entry.total), m_source.received(m_entry.received));
    if (!full.isEmpty())
        finish(Event::Fail, full);
}

std::optional<JournalEntry> Transfer::journalEntry() const
{
    const DownloadEntry &e = m_entry;
    if (!e.isUnfinished() || e.path.isEmpty())
        return std::nullopt;
    const bool complete = holdsAllData(m_state);
    const bool kept = m_state == State::CompleteThere || m_state == State::CompleteKept;
    // The choice between it and the same file, where the list offers it.
    const bool there = offersChoice(m_state);
    return JournalEntry {.url = e.url,
                         .page = m_page,
                         .title = m_title,
                         .path = e.path,
                         .name = m_server.landAs,
                         .partial = m_files.journalled(e.path, kept),
                         .bytes = e.received,
                         .total = e.total,
                         .etag = m_server.etag,
                         .modified = m_server.modified,
                         .mimeType = m_server.mimeType,
                         .files = m_files.made(),
                         .complete = complete,
                         .existing = there ? m_existing : QString()};
}
