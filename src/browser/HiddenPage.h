#pragma once

#include <functional>

#include <QWebEnginePage>

#include "UserGrant.h"

// A page that never shows anything on its own: dialogs are answered
// silently, permissions and full screen denied, bad certificates refused.
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
// allows: new windows hand their address to the opener callback, one per
// granted user action; navigations keep to web addresses and, where a site
// host is set, the top-level document keeps to that site.
class HiddenPage : public SilentPage
{
    Q_OBJECT

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
    // Spends one download of the grant; false when none is left.
    bool takeDownload() { return m_grant.take(UserGrant::Download); }
    // Whether a top-level document at url may be shown in this page.
    bool isOnSite(const QUrl &url) const;

signals:
    // A top-level navigation was stopped here; no document will come of it.
    void topLevelRefused();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    void handOver(const QUrl &url);
    void updateWindowOpening();

    UrlOpener m_opener;
    QString m_siteHost;
    UserGrant m_grant;
    int m_catchers = 0;
};

// The page given to a new window: it never loads anything, it only passes the
// address of its first real navigation on and then goes away.
class NewWindowCatcher : public SilentPage
{
    Q_OBJECT

public:
    NewWindowCatcher(QWebEngineProfile *profile, HiddenPage::UrlOpener captured, QObject *parent);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    void capture(const QUrl &url);

    HiddenPage::UrlOpener m_captured;
    bool m_done = false;
};
