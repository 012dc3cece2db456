#pragma once

#include <functional>

#include <QObject>
#include <QString>

// What one action of the user lets a browser's pages do, e.g.
// {.downloads = 1, .desktopAddresses = 1}.
struct UserAllowance
{
    int downloads = 0;
    int desktopAddresses = 0;
    // The download list's entry that the action's download belongs to (the
    // row click's, or the one started again); 0 for a new entry.
    int entry = 0;
};

// Why a load produced no document, as far as the user needs to know.
struct LoadFailure
{
    enum Kind {
        Unreachable, // no connection at all: refused, no route, no such host
        HttpError,   // the site answered with an error status
        NoAnswer,    // connected, but no page came (nothing, or broken off)
        Refused,     // stopped here: off the site, or not a web address
    };
    Kind kind = NoAnswer;
    int httpStatus = 0; // of an HttpError
};
Q_DECLARE_METATYPE(LoadFailure)

// What the window needs of one hidden browser. The window code reaches the
// engine only through this, so tests can drive Form1 with a scripted browser.
//
// Reads are synchronous: an implementation keeps a snapshot of the body taken
// when the current top-level document completed, and returns empty texts while
// no document has completed since the last Navigate.
class Browser : public QObject
{
    Q_OBJECT

public:
    // Told how many elements a click-by-text clicked, or ClickedUnknown.
    using ClickDone = std::function<void(int clicked)>;
    // The document went away before it could answer: most likely a click
    // of ours loaded the next one.
    static constexpr int ClickedUnknown = -1;

    using QObject::QObject;
    ~Browser() override = default;

    // Starts loading the address and returns at once.
    virtual void Navigate(const QString &address) = 0;

    // True once a top-level document has completed since the last Navigate.
    virtual bool hasDocument() const = 0;
    // The body's "innerText" and "innerHTML" of the current document.
    virtual QString bodyText() const = 0;
    virtual QString bodyHtml() const = 0;
    // The encoding the current document was read in, as the page reports it
    // (document.characterSet: "GBK", "UTF-8" …); empty without a document.
    virtual QString characterSet() const = 0;

    // Clicks every element with this tag name whose text contains the needle
    // (case-sensitive), in document order, not stopping at the first match.
    // The collection and its length are read once, before the first click.
    // Without a document, or without such elements, nothing is clicked.
    // done is called exactly once with the number clicked, always later, never
    // inside this call: 0 when there is no document, ClickedUnknown when the
    // document was replaced before it answered. It is not called once the
    // browser is destroyed.
    virtual void clickElementsByText(const QString &tagName, const QString &needle, ClickDone done = {}) = 0;

    // The user acted in this browser through the program (a result row or an
    // advertised row clicked, the update accepted). Until the next Navigate,
    // or for UserActionMs, its pages may start this many downloads and hand
    // this many addresses to the desktop; nothing else of theirs reaches it.
    // Some sites count down before the download starts, hence the generous
    // lifetime.
    static constexpr int UserActionMs = 2 * 60 * 1000;
    virtual void allowUserAction(UserAllowance allowance) = 0;

    // The window needs no more of the current document than what it has
    // read: the page may go now rather than after a while unused. Reads keep
    // answering, and a later click brings the page back first.
    virtual void restNow() { }

signals:
    // Once per successful top-level document, after its snapshot is taken.
    void DocumentComplete();
    // A load that we or the page started did not produce a document.
    void loadFailed(const LoadFailure &failure);
};

// The shared click-by-text operation of the window's handlers.
void ClickElementsByText(Browser *browser, const QString &tagName, const QString &needle, Browser::ClickDone done = {});
