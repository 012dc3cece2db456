#pragma once

#include <optional>

#include <QObject>
#include <QString>
#include <QUrl>

#include "DownloadAdmission.h"
#include "DownloadEntry.h"
#include "DownloadJournal.h"
#include "SameFile.h"
#include "ServerFile.h"
#include "TransferShared.h"
#include "TransferSource.h"
#include "TransferStates.h"

// One download, from the click on its result row to its file in the folder:
// what moves its data and the files it made (its source), the server's
// answer naming it, and its file page and that page's charset. It moves
// from state to state only by the events of one table (next()); what each
// event does besides is its own business. It removes or renames only files
// that are still the ones it made.
class Transfer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Transfer)

public:
    using State = TransferStates::State;
    using Event = TransferStates::Event;

    Transfer(TransferShared &shared, int id, State state, const QString &name, const QUrl &url,
             const QString &reason = {});
    // A download an earlier run kept, as its journal entry says.
    Transfer(TransferShared &shared, int id, const JournalEntry &kept);

    const DownloadEntry &entry() const { return m_entry; }
    State state() const { return m_state; }
    QUrl page() const { return m_server.page; }
    EngineDownload *request() const { return m_source.request(); }
    // Something starting it again will still answer.
    bool isRestarting() const { return m_source.isRestarting(); }
    // Its file page, from a click.
    void setPage(const QUrl &page, const QString &title) { m_server = {.page = page, .title = title}; }

    // The click's page gave up, or the same download is under way already.
    void giveUp(const QString &reason) { on(Event::GiveUp, reason); }
    // Whether a download the engine asks for, paid for with this one's
    // grant, is this one's.
    bool claim();
    // What 重试 or 继续 brings must be the file that was begun; false,
    // with the request cancelled and the reason shown, when it is not.
    bool takes(EngineDownload *request);
    void refuse(EngineDownload *request, const QString &reason);
    // The engine's request, admitted as decided; announced by the caller,
    // then begun.
    void start(EngineDownload *request, const DownloadAdmission::Decision &decision, const QUrl &page,
               const QString &charset);
    void begin();
    // The engine resumes it under a new request object, to the same file.
    void follow(EngineDownload *request) { m_source.follow(request); }

    // The user's actions (Delete is Cancel, the entry then removed).
    void act(DownloadEntry::Action action);
    void cancelByUser();
    // Stops it, keeping what it has for the next start.
    void keep();
    // 继续; from the queue, a slot being free.
    void resume();
    // Its bytes and speed (now on the shared clock); whether it moves data.
    bool sample(qint64 now);
    // Stops it before it would leave less than the reserve free.
    void checkSpace();
    // As the journal keeps it; nothing when there is nothing to keep.
    std::optional<JournalEntry> journalEntry() const;

signals:
    // Its state changed (the journal follows), or only its figures.
    void changed(int id);
    void progressed(int id);
    // It no longer takes a slot.
    void slotFreed();

private:
    bool on(Event event, const QString &reason = {});
    void setState(State state, const QString &reason = {});
    void listen();
    void onEnded(Event event, const QString &reason);
    void onBroke(const QString &reason, bool again, bool fromPage);
    void onNamed(const ServerProbe::Validators &said);
    bool alreadyThere();
    void finish(Event event, const QString &reason);
    void landOrSay(const QString &from);

    // Going on.
    void continueEarlier();
    void restart(bool sameVersion);

    TransferShared &m_shared;
    DownloadEntry m_entry;
    State m_state;
    TransferSource m_source;
    ServerFile m_server;
    SameFile m_existing;
    bool m_restartsFromPage = false; // 继续 starts it again from its file page
};
