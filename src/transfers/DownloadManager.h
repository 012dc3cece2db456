#pragma once

#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "DownloadAdmission.h"
#include "DownloadFolder.h"
#include "DownloadJournal.h"
#include "Downloads.h"
#include "FilePageRestart.h"
#include "PartialSweep.h"
#include "RangeFetch.h"
#include "ServerProbe.h"

class HiddenPage;
class QWebEngineDownloadRequest;
class QWebEngineProfile;

// Follows the downloads that the user asked for in the hidden pages, from
// the engine's request to the file in the folder: admits them, runs at most
// MaxRunning at once, watches their progress and the folder's free space,
// and carries out the user's actions on them. Every download of the session,
// and every result click, is an entry of one list. With a journal,
// unfinished downloads outlive the program: they are kept when it ends and
// listed again at the next start, to continue from their bytes.
//
// Its parts, by job: DownloadManager.cpp the entries and the user's actions
// on them, DownloadManagerRequests.cpp what the engine asks and reports,
// DownloadManagerTransfers.cpp the transfers under way, and
// DownloadManagerResume.cpp the journal and starting downloads again.
class DownloadManager final : public Downloads
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadManager)

public:
    // At most this many transfer at once; later ones wait, paused.
    static constexpr int MaxRunning = 3;
    // How often a running entry's bytes and speed are read (at most ten
    // times a second; nothing runs per received chunk).
    static constexpr int ProgressMs = 100;
    // An entry interrupted by the network tries once more by itself after this.
    static constexpr int AutoResumeMs = 3000;

    explicit DownloadManager(QWebEngineProfile *profile, QObject *parent = nullptr);
    ~DownloadManager() override;

    DownloadFolder &folder() { return m_folder; }

    QList<DownloadEntry> entries() const override;
    DownloadEntry entry(int id) const override;
    void act(int id, DownloadEntry::Action action) override;
    void cancelAll() override;
    bool keepAll() override;

    // Keeps unfinished downloads in the journal file from now on, and lists
    // the ones it holds from an earlier run (as interrupted, to continue).
    // Without a journal nothing outlives the session.
    void useJournal(const QString &file);
    // The final paths of ended downloads whose partial files are still
    // swept, the engine not having let go of them for long enough.
    QStringList sweeping() const { return m_leftovers.paths(); }
    QString folderPath() const override { return m_folder.path(); }
    void setFolderPath(const QString &path) override { m_folder.setPath(path); }
    void clearEnded() override;

    int addClick(const QString &title, const QUrl &page) override;
    void clickGaveUp(int id, const QString &reason) override;

signals:
    void downloadStarted(const QString &path);
    void downloadFinished(const QString &path, bool ok);
    // Why a download the user asked for did not start or did not finish;
    // path is empty when it never got one.
    void downloadFailed(const QString &path, const QString &reason);

private:
    // One entry and what follows it in the engine.
    struct Record
    {
        DownloadEntry entry;
        QPointer<QWebEngineDownloadRequest> request;
        bool userCancelled = false;
        bool autoResumed = false; // the one try of its own after a break

        // The bytes and the clock at the last speed sample.
        struct
        {
            qint64 bytes = 0;
            qint64 ms = 0;
        } sampled;
        // The same file found in the folder, and whether this copy was
        // complete before the user chose between the two.
        QString existingPath;
        bool completedWhileAsked = false;
        // Where it came from, and what its server said of it.
        QUrl page;                 // the file page
        QString title;             // of the result row that was clicked
        QString charset;           // of the page that started it, for its name
        QString wanted;            // the name the reservation was made for, before any " (n)"
        QString landAs;            // the name the server's own bytes give instead; empty: the reserved one
        quint64 asking = 0;        // the server's answer awaited, by question
        bool landOnAnswer = false; // complete, waiting for that answer's name
        QByteArray etag;           // the server's validators, for the journal
        QByteArray modified;
        QString mimeType; // of what came
        // The files it made, by identity: only those are ever removed.
        DownloadFolder::Files files;
        // What 重试 or 继续 must bring again: the same kind of file, of the
        // same length, with the same validators, where they were known.
        struct
        {
            qint64 total = -1;
            QString mimeType;
            QByteArray etag;
            QByteArray modified;
        } expected;
        // Of an earlier run (or kept for the next): where its data is, how
        // the rest is fetched, and whether only its file page can start it
        // again.
        QString partial;
        std::unique_ptr<RangeFetch> fetch;
        std::unique_ptr<FilePageRestart> restart;
        // Started again from its address, where no file page is known.
        std::unique_ptr<HiddenPage> retryPage;
        bool restartsFromPage = false;
    };

    // The entries (DownloadManager.cpp).
    Record *makeRecord(DownloadEntry::State state, const QString &name, const QUrl &url);
    Record *find(int id) const;
    void setState(Record *record, DownloadEntry::State state, const QString &reason = {});
    void fail(Record *record, DownloadEntry::State state, const QString &reason);
    // 继续 and 仍然下载: on from where it stands.
    void resume(Record *record);
    void cancelByUser(Record *record);
    void finish(Record *record, DownloadEntry::State state, const QString &reason);
    bool land(Record *record, const QString &from);

    // What the engine asks and reports (DownloadManagerRequests.cpp).
    void onDownloadRequested(QWebEngineDownloadRequest *request);
    bool followResumed(QWebEngineDownloadRequest *request);
    bool notTheFile(Record *record, QWebEngineDownloadRequest *request);
    Record *claim(int id);
    bool inFlight(const QUrl &url, const Record *except) const;
    void failToStart(QWebEngineDownloadRequest *request, Record *claimed, const DownloadAdmission::Decision &decision);
    void start(Record *record, QWebEngineDownloadRequest *request, const DownloadAdmission::Decision &decision,
               bool isNew);
    void watch(Record *record, QWebEngineDownloadRequest *request);
    void onRequestStateChanged(int id);
    void onInterrupted(Record *record, int reason);
    void askServer(Record *record);
    bool alreadyThere(Record *record);

    // The transfers under way (DownloadManagerTransfers.cpp).
    int runningCount(const Record *except = nullptr) const;
    void startQueued();
    void watchTransfers();
    void sample();
    void checkSpace();
    void checkSpace(Record *record);
    qint64 liveBytes(const Record *record) const;

    // The journal, and downloads started again (DownloadManagerResume.cpp).
    QString dataPath(const Record *record) const;
    void journalChanged();
    bool writeJournal();
    void retry(Record *record);
    void letGo(Record *record);
    void retryFromAddress(Record *record);
    void continueEarlier(Record *record);
    void onFetchEnded(int id, RangeFetch::Outcome outcome, int status);
    void restartFromPage(Record *record);
    void dropFetch(Record *record);
    void dropRestart(Record *record);
    void dropRetryPage(Record *record);
    void landCompleted(Record *record);

    QWebEngineProfile *m_profile = nullptr;
    DownloadFolder m_folder;
    // What cancelled and failed downloads leave while the engine winds down.
    PartialSweep m_leftovers;
    DownloadAdmission m_admission {m_folder, m_leftovers};
    // The program's own requests to download servers, with the pages' cookies.
    QNetworkAccessManager m_network;
    ServerProbe m_probe;
    QTimer m_spaceWatch;
    QTimer m_progress;
    QElapsedTimer m_clock;
    std::vector<std::unique_ptr<Record>> m_records;
    std::unique_ptr<DownloadJournal> m_journal;
    bool m_journalDirty = false; // written once the current event is done
    int m_nextId = 1;
    quint64 m_questions = 0;
};
