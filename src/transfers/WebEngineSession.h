#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class Browser;
class DownloadManager;
class QWebEngineProfile;
class WebEngineBrowser;

// Owns what the hidden browsers share: one off-the-record profile (nothing
// written to disk) and the download manager. Create it after QApplication and
// keep it alive as long as its browsers are used.
class WebEngineSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebEngineSession)

public:
    // Call before constructing QApplication.
    static void prepareApplication();
    // Whether the engine will refuse to start: run as root, it ends the
    // process rather than open pages outside its sandbox, unless told to.
    static bool refusesRoot();
    // Engine switches that take a while to learn (the desktop's proxy),
    // asked for only when the first session starts the engine, so that
    // they can be read meanwhile. The user's own flags still win.
    static void setStartSwitches(std::function<QByteArray()> switches);

    explicit WebEngineSession(QObject *parent = nullptr);
    ~WebEngineSession() override;

    // A new hidden browser on the shared profile; parent owns it. With a
    // siteHost its top-level documents stay on that host and its subdomains.
    Browser *createBrowser(QObject *parent, const QString &siteHost = {});

    DownloadManager *downloads() const { return m_downloads; }

    // How long a browser's document may sit unused before its renderer is
    // let go (see WebEngineBrowser::setRestAfter); for browsers made from now.
    static constexpr int RestAfterMs = 10000;
    void setRestAfter(int ms) { m_restAfter = ms; }

    // Where addresses of windows the pages open go (target="_blank",
    // window.open), for every browser of the session; nowhere until set.
    using UrlOpener = std::function<void(const QUrl &)>;
    void setUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }

private:
    QWebEngineProfile *m_profile = nullptr;
    DownloadManager *m_downloads = nullptr;
    UrlOpener m_opener;
    int m_restAfter = RestAfterMs;
    QList<QPointer<WebEngineBrowser>> m_browsers;
};
