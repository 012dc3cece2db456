#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include "DownloadEntry.h"

class DownloadList;
class HiddenPage;
class QNetworkAccessManager;
class QWebEngineDownloadRequest;
class QWebEngineProfile;
class QWidget;

// Accepts the downloads that the user asked for in the hidden pages: saves
// them under the download folder with the name the site suggests, never
// overwriting, within the folder's free space. Every download of the session,
// and every result click that led to none, is an entry of one list.
class DownloadManager : public QObject
{
    Q_OBJECT

public:
    // At most this many transfer at once; later ones wait, paused.
    static constexpr int MaxRunning = 3;
    // Kept free on the download folder's disk, for the rest of the desktop.
    static constexpr qint64 SpareBytes = 64LL << 20;

    DownloadManager(QWebEngineProfile *profile, QObject *parent = nullptr);
    ~DownloadManager() override;

    // Defaults to the user's download folder.
    void setDownloadDirectory(const QString &directory);
    QString downloadDirectory() const;

    // Whether the list window shows itself when an entry is added (tests
    // keep it hidden).
    void setWidgetsVisible(bool visible) { m_widgetsVisible = visible; }
    // The session's list window, made on first use.
    DownloadList *list();

    // How often a running entry's bytes and speed are read (at most ten
    // times a second; nothing runs per received chunk).
    static constexpr int ProgressMs = 100;
    // An entry interrupted by the network tries once more by itself after this.
    static constexpr int AutoResumeMs = 3000;

    // How many bytes the folder's file system has free; tests stand in a
    // small disk.
    using FreeSpace = std::function<qint64(const QString &directory)>;
    void setFreeSpace(FreeSpace freeSpace) { m_freeSpace = std::move(freeSpace); }

    bool hasRunningDownloads() const;
    // Stops every unfinished download and removes its partial file.
    void cancelAll();

    // The session's entries, oldest first.
    QList<DownloadEntry> entries() const;
    DownloadEntry entry(int id) const;
    // Pause, Resume, Cancel, Retry, DownloadAnyway and OpenExisting; the
    // others are the desktop's.
    void act(int id, DownloadEntry::Action action);
    // An entry for a result click that led to no download.
    int addNothingCame(const QString &title, const QUrl &page, const QString &reason);

    // Why a download stopped, in words: the engine's reason, the folder it
    // was saved to, and the server's HTTP status when one is known.
    static QString reasonText(int interruptReason, const QString &folder, int httpStatus = 0);
    // Asks whether to stop running downloads; true means the program may quit.
    bool confirmQuit(QWidget *parent);

    // A plain file name from a suggested one ("download" when nothing is
    // left), short enough for " (n)" and the engine's partial-file suffix.
    static QString sanitizeFileName(const QString &suggested);
    // Creates name, or "base (1).ext", "base (2).ext" … exclusively in
    // directory and returns its path; empty when the folder cannot be written.
    static QString reserveFile(const QString &directory, const QString &name);

signals:
    void entryAdded(int id);
    void entryChanged(int id);
    void downloadStarted(const QString &path);
    void downloadFinished(const QString &path, bool ok);
    // Why a download the user asked for did not start or did not finish;
    // path is empty when it never got one.
    void downloadFailed(const QString &path, const QString &reason);

private:
    struct Entry
    {
        DownloadEntry view;
        QPointer<QWebEngineDownloadRequest> request;
        bool userCancelled = false;
        bool autoResumed = false; // the one try of its own after a break
        QString existing;         // the same file found in the folder
        bool copyDone = false;    // it completed before the user chose
        qint64 sampledBytes = 0;  // for the speed
        qint64 sampledMs = 0;
    };

    void onDownloadRequested(QWebEngineDownloadRequest *request);
    Entry *addEntry(DownloadEntry::State state, const QString &name, const QUrl &url);
    void refuse(QWebEngineDownloadRequest *request, Entry *retried, const QString &reason);
    void watch(Entry *entry, QWebEngineDownloadRequest *request);
    void onStateChanged(Entry *entry);
    void interrupt(Entry *entry, int reason);
    void finish(Entry *entry, DownloadEntry::State state, const QString &reason);
    void setState(Entry *entry, DownloadEntry::State state, const QString &reason = {});
    void retry(Entry *entry);
    bool alreadyThere(Entry *entry);
    void startQueued();
    void sample();
    void checkSpace();
    void checkSpace(Entry *entry);
    qint64 freeSpace(const QString &directory) const;
    Entry *find(int id) const;
    bool isActive(const Entry *entry) const;
    static void removePartial(const QString &path);

    QWebEngineProfile *m_profile = nullptr;
    QString m_directory;
    FreeSpace m_freeSpace;
    QTimer m_spaceWatch;
    QTimer m_progress;
    QElapsedTimer m_clock;
    QList<Entry *> m_entries;
    // Entries being started again through m_retryPage, by address.
    QList<Entry *> m_retrying;
    HiddenPage *m_retryPage = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<DownloadList> m_list;
    bool m_widgetsVisible = true;
    int m_nextId = 1;
};
