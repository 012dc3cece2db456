#pragma once

#include <memory>
#include <vector>

#include <QNetworkAccessManager>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "DownloadAdmission.h"
#include "DownloadFolder.h"
#include "DownloadJournal.h"
#include "Downloads.h"
#include "PartialSweep.h"
#include "ServerProbe.h"
#include "Transfer.h"

class QWebEngineDownloadRequest;
class QWebEngineProfile;

// The session's downloads, one Transfer each, and every result click: the
// list, oldest first; the queue, so that at most MaxRunning transfer at
// once; the clocks that read their progress and the folder's free space;
// the journal that lets unfinished ones outlive the program (kept when it
// ends, listed again at the next start); and the Downloads port the window
// reaches them through. It routes what the engine asks for to the transfer
// whose user action paid for it.
class DownloadManager final : public Downloads
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadManager)

public:
    // At most this many transfer at once; later ones wait, paused.
    static constexpr int MaxRunning = 3;
    // How often a running entry's bytes and speed are read.
    static constexpr int ProgressMs = 100;

    // How a download starts again from its file page or address.
    using Restarts = decltype(TransferShared::restart);
    // The downloads that profile's pages ask for, started again by restarts;
    // without a profile, those a test's engine offers.
    DownloadManager(QWebEngineProfile *profile, Restarts restarts, QObject *parent = nullptr);
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
    QString folderPath() const override { return m_folder.path(); }
    void setFolderPath(const QString &path) override { m_folder.setPath(path); }
    void clearEnded() override;

    int addClick(const QString &title, const QUrl &page) override;
    void clickGaveUp(int id, const QString &reason) override;

    // Who paid for a download with a user action: the entry the grant names
    // (0: none), and the page, with its charset for the download's name.
    struct Payer
    {
        int entry = 0;
        QUrl page {};
        QString charset {};
    };
    // A download the engine asks for, paid for by payer: to the transfer the
    // grant names, or to a new one. The profile's come by themselves.
    void offer(EngineDownload *download, const Payer &payer);
    // What download servers answer: the program's own requests unless a
    // test stands in its own.
    void setProbe(ServerProbe *probe) { m_shared.probe = probe; }

private:
    Transfer *find(int id) const;
    // Not announced yet: the caller does, once.
    Transfer *add(std::unique_ptr<Transfer> transfer);
    Transfer *make(Transfer::State state, const QString &name, const QUrl &url, const QString &reason = {});
    void remove(const QList<int> &ids);

    // What the engine asks.
    void onDownloadRequested(QWebEngineDownloadRequest *request);
    bool followResumed(EngineDownload *download);
    bool inFlight(const QUrl &url, const Transfer *except) const;
    void refuse(EngineDownload *download, Transfer *claimed, const QString &reason, const QString &wanted);

    // The queue and the clocks.
    int runningCount(const Transfer *except = nullptr) const;
    void startQueued();
    void onChanged(int id);
    void watchTransfers();
    void sample();
    void checkSpace();

    // The journal.
    void journalChanged();
    bool writeJournal();

    DownloadFolder m_folder;
    // What cancelled and failed downloads leave while the engine winds down.
    PartialSweep m_leftovers;
    DownloadAdmission m_admission {m_folder};
    // The program's own requests to download servers, with the pages' cookies.
    QNetworkAccessManager m_network;
    ServerProbe m_probe;
    TransferShared m_shared;
    QTimer m_spaceWatch;
    QTimer m_progress;
    std::vector<std::unique_ptr<Transfer>> m_transfers;
    std::unique_ptr<DownloadJournal> m_journal;
    bool m_journalDirty = false; // written once the current event is done
    int m_nextId = 1;
};
