#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class DownloadWidget;
class QWebEngineDownloadRequest;
class QWebEngineProfile;
class QWidget;

// Accepts the downloads that the user asked for in the hidden pages: saves
// them under the download folder with the name the site suggests, never
// overwriting, within the folder's free space, one window each.
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

    // The windows are shown by default; tests may keep them hidden.
    void setWidgetsVisible(bool visible) { m_widgetsVisible = visible; }

    // How many bytes the folder's file system has free; tests stand in a
    // small disk.
    using FreeSpace = std::function<qint64(const QString &directory)>;
    void setFreeSpace(FreeSpace freeSpace) { m_freeSpace = std::move(freeSpace); }

    bool hasRunningDownloads() const;
    // Stops every running download and removes its partial file.
    void cancelAll();
    // Asks whether to stop running downloads; true means the program may quit.
    bool confirmQuit(QWidget *parent);

    // A plain file name from a suggested one ("download" when nothing is
    // left), short enough for " (n)" and the engine's partial-file suffix.
    static QString sanitizeFileName(const QString &suggested);
    // Creates name, or "base (1).ext", "base (2).ext" … exclusively in
    // directory and returns its path; empty when the folder cannot be written.
    static QString reserveFile(const QString &directory, const QString &name);

signals:
    void downloadStarted(const QString &path);
    void downloadFinished(const QString &path, bool ok);
    // Why a download the user asked for did not start or did not finish;
    // path is empty when it never got one.
    void downloadFailed(const QString &path, const QString &reason);

private:
    struct Entry {
        QPointer<QWebEngineDownloadRequest> request;
        QUrl url;
        QString path;
        QPointer<DownloadWidget> widget;
        bool queued = false; // accepted, paused until a slot is free
    };

    void onDownloadRequested(QWebEngineDownloadRequest *request);
    void refuse(QWebEngineDownloadRequest *request, const QString &reason);
    void watch(Entry *entry, QWebEngineDownloadRequest *request);
    void onStateChanged(Entry *entry);
    void finish(Entry *entry, bool ok, const QString &message);
    void startQueued();
    void checkSpace();
    void checkSpace(Entry *entry);
    qint64 freeSpace(const QString &directory) const;
    static void removePartial(const QString &path);

    QString m_directory;
    bool m_widgetsVisible = true;
    FreeSpace m_freeSpace;
    QTimer m_spaceWatch;
    QList<Entry *> m_running;
    QList<QPointer<DownloadWidget>> m_widgets;
};
