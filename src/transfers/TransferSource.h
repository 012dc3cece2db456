#pragma once

#include <memory>

#include <QObject>
#include <QPointer>
#include <QString>

#include "DownloadEntry.h"
#include "EngineDownload.h"
#include "RangeFetch.h"
#include "ServerProbe.h"
#include "TransferFiles.h"
#include "TransferStates.h"

class Restart;
struct TransferShared;

// What moves one download's data, one at a time: the engine's request, the
// program's ranged fetch of the rest an earlier run kept, or its file page
// (or address) starting it again until the engine's new request comes; the
// files they made, which go with them; and the question to its server of
// what the file is. It keeps their lifetimes, reads their figures and says
// what they report in the events of the download's table; the download
// alone decides what becomes of it.
class TransferSource final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransferSource)

public:
    using Event = TransferStates::Event;

    // After a broken connection it asks once to continue, this much later.
    static constexpr int AutoResumeMs = 3000;

    TransferSource(TransferShared &shared, QObject *parent);
    ~TransferSource() override;

    EngineDownload *request() const { return m_request; }
    bool isRestarting() const { return m_restart != nullptr; }
    bool movesData() const { return m_request || m_fetch; }
    // What has come, and of how much: what the download knew where nothing
    // moves its data.
    qint64 received(qint64 known) const;
    qint64 total(qint64 known) const;
    // Its bytes, total and speed now (on the shared clock) into entry's
    // figures; whether its bytes or total changed.
    bool sample(DownloadEntry &entry, qint64 now);
    void restartClock(qint64 bytes);

    // Where the download lands (a kept one's, with the files an earlier run
    // made), and the files made there.
    void keptAt(const QString &path, const TransferFiles &files);
    const TransferFiles &files() const { return m_files; }
    QString dataPath() const { return m_files.dataPath(m_path); }
    // The complete data at from lands at path (under name, where given);
    // where it landed, empty when it could not move.
    QString land(const QString &from, const QString &path, const QString &name);

    // A download begins: the engine's request, at the name it reserved.
    void begin(EngineDownload *request, const QString &path, const FileIdentity &reserved);
    // What the engine's request says now (a tiny file may be complete
    // before it is watched).
    void check();
    // The engine resumes it under a new request, saved to the same file.
    void follow(EngineDownload *request);
    // The engine's request or the rest's fetch brought it all: its figures
    // into entry's, and it is done.
    void complete(DownloadEntry &entry);
    // Why entry's download no longer fits the folder's disk; empty while it does.
    QString noRoom(const DownloadEntry &entry) const;
    // Done with the engine's request (complete: the engine moved its data
    // over the reservation): released where nothing more is to come of it,
    // else cancelled for good and released once the engine lets go, its
    // files swept from then on.
    void endRequest(bool complete = false);
    // Stopped, its request paused and forgotten, the data kept at the
    // reservation (complete: there already); the bytes it had, -1 without a
    // request.
    qint64 keepRequest(bool complete);
    // Its request cancelled and released at once, the rest's fetch stopped,
    // and what they made goes.
    void letGo();
    // The user's 继续 of the engine's request.
    void resumeRequest();
    // Nothing moves its data until it is resumed: the request paused, the
    // rest stopped.
    void stop();

    // Whatever moves its data goes, with what it made, and a late answer of
    // its server is ignored.
    void drop();

    void fetchRest(RangeFetch::Target target);
    void restartFrom(const QUrl &url, int entry, bool isFilePage);
    void dropFetch();
    // Whatever was starting it again goes: nothing it brings later is the
    // download's. Possibly inside the engine's signal about its download.
    void dropRestart();

    // What the server says the file is, asked with its file page as the
    // Referer (as later questions are); a later question, or forget(),
    // makes an earlier answer a late one, ignored.
    void ask(const QUrl &url, const QUrl &page);
    bool isAsking() const { return m_asking != 0; }
    void forget() { m_asking = 0; }

signals:
    // The engine's request or the fetch of the rest ended: Complete, or
    // Fail with the reason.
    void ended(TransferStates::Event event, const QString &reason);
    // It broke off, kept for 继续 (again, once its server said why); the
    // rest fetched cannot continue it when it must start again from its page.
    void broke(const QString &reason, bool again, bool fromPage);
    // The engine carries it on by itself; or it is time to ask it to.
    void running();
    void tryAgain();
    void sizeKnown();
    // The engine's file, known from its first bytes on: only that goes, and
    // a crash from then on leaves data the next start knows.
    void madeFile();
    void gaveUp(const QString &reason);
    void answered(const ServerProbe::Validators &said);

private:
    // The engine's request for the download that lands at path, from now
    // on; a fresh one may ask once more to continue after a broken
    // connection.
    void watch(EngineDownload *request, const QString &path, bool fresh);
    void onInterrupted();
    EngineDownload *detach();

    TransferShared &m_shared;
    QPointer<EngineDownload> m_request;
    QString m_path; // where the download lands
    TransferFiles m_files;
    QUrl m_page;                // its file page: the Referer of the questions to its server
    bool m_broken = false;      // its break reported, until it runs again
    bool m_autoResumed = false; // the one try of its own after a break
    std::unique_ptr<RangeFetch> m_fetch;
    std::unique_ptr<Restart> m_restart;
    quint64 m_questions = 0; // asked so far, so that a late answer is known
    quint64 m_asking = 0;    // the question awaited
    struct
    {
        qint64 bytes = 0;
        qint64 ms = 0;
        bool flowing = false; // bytes came since the clock started
    } m_sampled;              // at the last speed sample
};
