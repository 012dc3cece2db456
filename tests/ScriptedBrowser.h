// A browser whose documents the test writes, and the window on three of them.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include "Browser.h"
#include "Form1.h"

class ScriptedBrowser : public Browser
{
public:
    // Elements carry their tag and text.
    struct Element
    {
        QString tag, text;
    };

    using Browser::Browser;

    void Navigate(const QString &address) override;
    bool hasDocument() const override { return m_loaded; }
    QString bodyText() const override { return m_loaded ? text : QString(); }
    QString bodyHtml() const override { return m_loaded ? html : QString(); }
    QString characterSet() const override { return m_loaded ? charset : QString(); }
    void clickElementsByText(const QString &tagName, const QString &needle, ClickDone done = {}) override;
    void allowUserAction(UserAllowance allowance) override
    {
        grants << qMakePair(allowance.downloads, allowance.desktopAddresses);
    }
    void restNow() override { ++rests; }

    // Completes a document and raises the notification.
    void complete(const QString &bodyHtml, const QString &bodyText = {}, QList<Element> els = {});
    void fail(LoadFailure failure = {LoadFailure::Unreachable, 0}) { emit loadFailed(failure); }

    QString html;
    QString text;
    QString charset = QStringLiteral("UTF-8"); // of the documents it completes
    QList<Element> elements;
    QStringList navigations;
    QStringList clicks;
    QList<QPair<int, int>> grants;
    int rests = 0;                  // times the window let the page go
    std::optional<int> clickAnswer; // what clicks report instead of their count
    bool answersClicks = true;
    std::function<void(const QString &)> onNavigate;

private:
    bool m_loaded = false;
};

// Form1 on scripted browsers, pointed at http://site.test and
// http://home.test, with what it asks of the desktop recorded.
class ScriptedWindow
{
public:
    // Loads and shows the window.
    ScriptedWindow();

    // Types the keyword and presses Enter.
    void search(const QString &keyword);
    QList<bool> rowsShown() const;
    QStringList captions(int rows) const;

    std::unique_ptr<Form1> form;
    ScriptedBrowser *w1 = nullptr;
    ScriptedBrowser *w3 = nullptr;
    // Every file-page browser made, W2 first.
    QList<QPointer<ScriptedBrowser>> filePages;
    int prompts = 0;
    bool answer = true;        // to the update prompt
    bool stopDownloads = true; // to stopping running downloads
    int quits = 0;
    QList<QUrl> opened;
    QStringList registered;  // "entry|title|page" of each row click registered
    QStringList downloading; // file pages whose file is downloading already
    QStringList notices;     // "entry|reason" of each click that led to no download
    QStringList charsets;    // the site's encodings, as learnt
    QList<bool> listShown;   // with the focus or not, each time the list was asked to show
};
