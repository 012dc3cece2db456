#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QStringList>

#include "Browser.h"

// A browser whose documents the test writes. Elements carry their tag, text
// and what a click on them does.
class ScriptedBrowser : public Browser
{
public:
    struct Element
    {
        QString tag;
        QString text;
        std::function<void()> onClick;
    };

    using Browser::Browser;

    void Navigate(const QString &address) override
    {
        navigations << address;
        m_loaded = false;
        if (onNavigate)
            onNavigate(address);
    }
    bool hasDocument() const override { return m_loaded; }
    QString bodyText() const override { return m_loaded ? text : QString(); }
    QString bodyHtml() const override { return m_loaded ? html : QString(); }
    void clickElementsByText(const QString &tagName, const QString &needle, ClickDone done = {}) override
    {
        int clicked = 0;
        const QList<Element> collection = m_loaded ? elements : QList<Element>(); // taken once, like the page's
        for (int i = 0; i < collection.size(); ++i) {
            if (collection[i].tag.compare(tagName, Qt::CaseInsensitive) == 0 && collection[i].text.contains(needle)) {
                clicks << collection[i].text;
                ++clicked;
                if (collection[i].onClick)
                    collection[i].onClick();
            }
        }
        if (answer)
            clicked = *answer;
        if (done)
            QMetaObject::invokeMethod(this, [done = std::move(done), clicked] { done(clicked); }, Qt::QueuedConnection);
    }

    void allowUserAction(int downloads, int desktopAddresses) override
    {
        grants << qMakePair(downloads, desktopAddresses);
    }

    // Completes a document and raises the notification.
    void complete(const QString &bodyHtml, const QString &bodyText = {}, QList<Element> els = {})
    {
        html = bodyHtml;
        text = bodyText;
        elements = std::move(els);
        m_loaded = true;
        emit DocumentComplete();
    }
    void fail() { emit loadFailed(); }

    QString html;
    QString text;
    QList<Element> elements;
    QStringList navigations;
    QStringList clicks;
    QList<QPair<int, int>> grants;
    std::optional<int> answer; // what clicks report instead of their count
    std::function<void(const QString &)> onNavigate;

private:
    bool m_loaded = false;
};
