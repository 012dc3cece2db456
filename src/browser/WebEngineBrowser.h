#pragma once

#include <functional>
#include <optional>

#include <QHash>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include "Browser.h"
#include "UserGrant.h"

class HiddenPage;
class QWebEngineLoadingInfo;
class QWebEngineProfile;

// One hidden browser on Qt WebEngine: the window's (WebEngineSession makes
// them) and the one a download is started again in (FilePageRestart).
class WebEngineBrowser final : public Browser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebEngineBrowser)

public:
    // An empty siteHost lets the top-level document go to any web address.
    WebEngineBrowser(QWebEngineProfile *profile, std::function<void(const QUrl &)> opener, const QString &siteHost,
                     QObject *parent = nullptr);
    ~WebEngineBrowser() override;

    void Navigate(const QString &address) override;
    bool hasDocument() const override { return m_hasDocument; }
    QString bodyText() const override { return m_text; }
    QString bodyHtml() const override { return m_html; }
    QString characterSet() const override { return m_charset; }
    // The count comes from the click script. When the script never answers
    // because its document was replaced, the click is reported as
    // ClickedUnknown when that top-level load ends, succeeded or not.
    void clickElementsByText(const QString &tagName, const QString &needle, ClickDone done = {}) override;
    void allowUserAction(UserAllowance allowance) override;
    void restNow() override;

    // Runs a script in our isolated world of the current document; the result
    // arrives later (never, if the page is gone). For diagnostics and tests.
    void evaluate(const QString &script, std::function<void(const QVariant &)> done);

    // Navigate, for a caller that knows the same Navigate is coming: that one
    // then joins this load instead of starting it again, unless the load has
    // ended meanwhile.
    void preload(const QString &address);

    // Runs the event loop, without user input, until the load under way has
    // started in the engine (its request is out) or maxMs have passed.
    void waitForLoadStart(int maxMs);

    // A document left unused this long gives up its page, and with it the
    // memory of its renderer process; reads keep answering from the snapshot,
    // and a click first loads the same address again, quietly. 0 never rests.
    void setRestAfter(int ms);
    bool isResting() const { return m_phase == Phase::Resting || m_phase == Phase::Restoring; }
    // Nothing asked of the browser is under way: no load, no restore and no
    // click waiting for its answer. For tests and diagnostics.
    bool isQuiet() const;
    // What the user's latest action allows is not spent yet (or is held
    // for the resting page's return).
    bool hasOpenGrant() const;
    // The engine process that renders this browser's document; 0 while it
    // has none. For diagnostics and tests.
    qint64 rendererPid() const;

    // The session drops the page before its profile goes away.
    void releasePage();

private:
    HiddenPage *page();
    void dropPage();
    void retirePage();
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void onDocumentLoading(const QWebEngineLoadingInfo &info);
    void takeSnapshot();
    void refuseTopLevel();
    void finishClick(quint64 id, int clicked);
    void finishPendingClicks();
    void runClick(quint64 id, const QString &tagName, const QString &needle);
    bool isIdle() const;
    void restartRestTimer();
    void rest();
    void restore();
    void onRestoreLoading(const QWebEngineLoadingInfo &info);
    void abandonRestore(const std::optional<LoadFailure> &failure = std::nullopt);

    // Where the browser's document is. Only Ready lets it rest.
    enum class Phase {
        Empty,        // no document since the last Navigate, and no load started yet
        Loading,      // a top-level load is under way
        Snapshotting, // a document has loaded; its snapshot is being taken
        Ready,        // the snapshot is the document's
        Resting,      // the page is gone; the snapshot is all that is left
        Restoring,    // loading the resting document again, for queued clicks
        Released,     // the page went with the session
    };
    // After a load ends without a new snapshot: the old one, if any, stands.
    void settle() { m_phase = m_hasDocument ? Phase::Ready : Phase::Empty; }

    QWebEngineProfile *m_profile = nullptr;
    std::function<void(const QUrl &)> m_opener;
    QString m_siteHost;
    QPointer<HiddenPage> m_page; // made on first use
    Phase m_phase = Phase::Empty;
    quint64 m_generation = 0; // bumped by Navigate and by each top-level load start
    // A snapshot was taken since the last Navigate; it outlives a load that
    // does not commit (a link that became a download).
    bool m_hasDocument = false;
    bool m_snapshotDropped = false; // by a load start; taken again if that load does not commit
    bool m_failureSent = false;     // loadFailed went out for this load already
    QString m_text;
    QString m_html;
    QString m_charset;
    // Click reports not yet given, by request.
    QHash<quint64, ClickDone> m_pendingClicks;
    quint64 m_lastClick = 0;

    QTimer m_restTimer;
    QUrl m_restingUrl;
    QString m_preloaded; // the address of a preload not yet joined
    struct QueuedClick
    {
        quint64 id;
        QString tagName;
        QString needle;
    };
    QList<QueuedClick> m_queuedClicks;
    // A grant given while resting waits for the document to be back, so that
    // the reloaded page's own scripts cannot spend it.
    UserGrant m_held;
};
