#pragma once

#include <QWebEnginePage>

#include <functional>

// A page that never shows anything on its own: dialogs are answered
// silently, permissions and full screen denied, bad certificates refused.
class SilentPage : public QWebEnginePage
{
    Q_OBJECT

public:
    SilentPage(QWebEngineProfile *profile, QObject *parent);

protected:
    void javaScriptAlert(const QUrl &, const QString &) override {}
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &) override {}
};

// A page nobody looks at, which hands new windows to the opener callback.
class HiddenPage : public SilentPage
{
    Q_OBJECT

public:
    using UrlOpener = std::function<void(const QUrl &)>;

    HiddenPage(QWebEngineProfile *profile, UrlOpener opener, QObject *parent = nullptr);

    void loadVisible(const QUrl &url);

protected:
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    UrlOpener m_opener;
};

// The page given to a new window: it never loads anything, it only passes the
// address of its first real navigation to the opener and then goes away.
class NewWindowCatcher : public SilentPage
{
    Q_OBJECT

public:
    NewWindowCatcher(QWebEngineProfile *profile, HiddenPage::UrlOpener opener, QObject *parent);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    void capture(const QUrl &url);

    HiddenPage::UrlOpener m_opener;
    bool m_done = false;
};
