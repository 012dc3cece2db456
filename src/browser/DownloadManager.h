#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>

class DownloadWidget;
class QWebEngineDownloadRequest;
class QWebEngineProfile;
class QWidget;

// Accepts the downloads of the hidden pages: saves them under the download
// folder with the name the site suggests, never overwriting, one window each.
class DownloadManager : public QObject
{
    Q_OBJECT

public:
    DownloadManager(QWebEngineProfile *profile, QObject *parent = nullptr);
    ~DownloadManager() override;

    // Defaults to the user's download folder.
    void setDownloadDirectory(const QString &directory);
    QString downloadDirectory() const;

    // The windows are shown by default; tests may keep them hidden.
    void setWidgetsVisible(bool visible) { m_widgetsVisible = visible; }

    bool hasRunningDownloads() const;
    // Stops every running download and removes its partial file.
    void cancelAll();
    // Asks whether to stop running downloads; true means the program may quit.
    bool confirmQuit(QWidget *parent);

    // A plain file name from a suggested one ("download" when nothing is left).
    static QString sanitizeFileName(const QString &suggested);
    // name, or "base (1).ext", "base (2).ext" … free in directory and not in reserved.
    static QString uniqueFileName(const QString &directory, const QString &name,
                                  const QSet<QString> &reserved);

signals:
    void downloadStarted(const QString &path);
    void downloadFinished(const QString &path, bool ok);

private:
    struct Entry {
        QPointer<QWebEngineDownloadRequest> request;
        QUrl url;
        QString path;
        QPointer<DownloadWidget> widget;
        bool done = false;
    };

    void onDownloadRequested(QWebEngineDownloadRequest *request);
    void watch(Entry *entry, QWebEngineDownloadRequest *request);
    void onStateChanged(Entry *entry);
    void finish(Entry *entry, bool ok, const QString &message);
    static void removePartial(const QString &path);

    QString m_directory;
    bool m_widgetsVisible = true;
    QList<Entry *> m_running;
    QList<QPointer<DownloadWidget>> m_widgets;
};
