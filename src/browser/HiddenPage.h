#pragma once

#include <functional>

#include <QDeadlineTimer>
#include <QWebEnginePage>

#include "UserGrant.h"

// A page that never shows anything on its own: dialogs are answered
// silently, permissions and full screen denied, bad certificates refused,
// and it plays no sound.
class SilentPage : public QWebEnginePage
{
    Q_OBJECT

public:
    SilentPage(QWebEngineProfile *profile, QObject *parent);

protected:
    void javaScriptAlert(const QUrl &, const QString &) override { }
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &) override { }
};

// A page nobody looks at. It acts on the desktop only as far as its grant
// allows: under a grant for the desktop, new windows hand their address to
// the opener callback, one per granted user action; under a grant for a
// download, a window opened right after a click of ours loads unseen, so
// that the download it leads to is the grant's (DownloadWindow). Navigations
// keep to web addresses and, where a site host is set, the top-level document
// keeps to that site. confirm() is answered OK only while a download grant is
// open: the user asked for the download.
class HiddenPage final : public SilentPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HiddenPage)

public:
    using UrlOpener = std::function<void(const QUrl &)>;

    // An empty siteHost lets the top-level document go to any web address.
    HiddenPage(QWebEngineProfile *profile, UrlOpener opener, const QString &siteHost, QObject *parent = nullptr);

    void loadVisible(const QUrl &url);

    // The one way a grant is given (see Browser::allowUserAction); it
    // replaces whatever was left of the last one. A Navigate ends it.
    void allowUserAction(const UserGrant &grant);
    void endGrant();
    // Whether the user's latest action may still lead to a download or a
    // window from this page.
    bool hasOpenGrant() const { return m_grant.allowsAnything(); }
    // Whether the page was ever given a grant.
    bool wasGranted() const { return m_wasGranted; }
    // Spends one download of the grant; false when none is left.
    bool takeDownload() { return m_grant.take(UserGrant::Download); }
    bool allowsDownload() const { return m_grant.allows(UserGrant::Download); }
    int grantEntry() const { return m_grant.entry(); }
    // A click of ours runs in the document: until shortly after it answered,
    // the windows it opens are the user's (as a browser allows pop-ups only
    // right after a click), so that one a page opens by itself is not. A
    // click that clicked nothing opened nothing.
    void markClicked();
    void markClickAnswered(int clicked);
    // The encoding of the document last read (document.characterSet), for
    // the names of the downloads it starts.
    void setDocumentCharset(const QString &charset) { m_charset = charset; }
    QString documentCharset() const { return m_charset; }
    // Whether a top-level document at url may be shown in this page.
    bool isOnSite(const QUrl &url) const;
    // A web address of another host.
    bool isOffSite(const QUrl &url) const;

signals:
    // A top-level navigation was stopped here; no document will come of it.
    void topLevelRefused();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    bool javaScriptConfirm(const QUrl &, const QString &) override { return allowsDownload(); }
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    void handOver(const QUrl &url);
    void updateWindowOpening();
    void track(QWebEnginePage *window);

    UrlOpener m_opener;
    QString m_siteHost;
    UserGrant m_grant;
    bool m_wasGranted = false;
    QDeadlineTimer m_clicked; // expired: no click of ours lately
    QString m_charset;
    int m_windows = 0; // new windows of either kind still alive
};

// A window that a HiddenPage opened under its download grant right after a
// click of ours (window.open, a link or a form aimed at a new window). It
// loads what it is sent, unseen and never read, wherever the download is;
// the download it leads to, at once or after its own countdown, spends its
// opener's grant. It goes once that download starts, when the grant ends,
// or after a short while.
class DownloadWindow final : public SilentPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadWindow)

public:
    DownloadWindow(QWebEngineProfile *profile, HiddenPage *opener);
    HiddenPage *opener() const { return m_opener; }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    bool javaScriptConfirm(const QUrl &, const QString &) override { return m_opener->allowsDownload(); }
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    HiddenPage *m_opener;
};

// The page given to a new window: it never loads anything, it only passes the
// address of its first real navigation on and then goes away.
class NewWindowCatcher final : public SilentPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NewWindowCatcher)

public:
    NewWindowCatcher(QWebEngineProfile *profile, HiddenPage::UrlOpener captured, QObject *parent);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    void capture(const QUrl &url);

    HiddenPage::UrlOpener m_captured;
    bool m_done = false;
};
