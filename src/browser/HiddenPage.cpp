#include "HiddenPage.h"

#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineSettings>

#include "Refusals.h"

namespace {

// A storm of window.open calls must not turn into a storm of pages.
constexpr int MaxWindows = 4;
// A new window that never navigates anywhere is not kept around.
constexpr int CatcherLifetimeMs = 10000;
// How long after a click of ours the page's new windows count as the user's:
// at most this long, and this long once the click has answered.
constexpr int ClickActivationMs = 5000;
constexpr int ClickAnsweredMs = 1000;
// A download window whose countdown, redirect or download has not come by
// then gives up.
constexpr int DownloadWindowLifetimeMs = 30000;

bool isWebAddress(const QUrl &url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

// What a frame may load without leaving the browser: web pages and the
// engine's own local documents. Anything else (mailto:, smb:, a custom
// scheme) the engine would hand to the desktop.
bool staysInBrowser(const QUrl &url)
{
    static const QStringList local {QStringLiteral("about"), QStringLiteral("data"), QStringLiteral("blob")};
    return isWebAddress(url) || local.contains(url.scheme());
}

} // namespace

SilentPage::SilentPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    setAudioMuted(true);
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl &origin, QWebEnginePage::Feature feature) {
                setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
            });
    connect(this, &QWebEnginePage::certificateError, this,
            [](QWebEngineCertificateError error) { error.rejectCertificate(); });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
}

HiddenPage::HiddenPage(QWebEngineProfile *profile, UrlOpener opener, const QString &siteHost, QObject *parent)
    : SilentPage(profile, parent)
    , m_opener(std::move(opener))
    , m_siteHost(siteHost.toLower())
{
    updateWindowOpening();
    // Another host's document has come where a download might have (a
    // download never changes the address): it acts for nobody, from its
    // first script on, not only once it has loaded.
    connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) {
        if (isOffSite(url))
            endGrant();
    });
}

void HiddenPage::allowUserAction(const UserGrant &grant)
{
    m_grant = grant;
    m_wasGranted = m_wasGranted || grant.allowsAnything();
    updateWindowOpening();
    // The grant runs out by itself; the engine's switch must follow.
    QTimer::singleShot(UserGrant::LifetimeMs + 100, this, &HiddenPage::updateWindowOpening);
}

void HiddenPage::endGrant()
{
    m_grant = UserGrant();
    m_clicked = QDeadlineTimer();
    updateWindowOpening();
    // Its download windows were for this grant only.
    for (DownloadWindow *window : findChildren<DownloadWindow *>(Qt::FindDirectChildrenOnly))
        window->deleteLater();
}

void HiddenPage::markClicked()
{
    m_clicked.setRemainingTime(ClickActivationMs);
    updateWindowOpening();
    QTimer::singleShot(ClickActivationMs + 100, this, &HiddenPage::updateWindowOpening);
}

void HiddenPage::markClickAnswered(int clicked)
{
    if (clicked == 0) {
        m_clicked = QDeadlineTimer();
        updateWindowOpening();
    } else if (m_clicked.remainingTime() > ClickAnsweredMs) {
        m_clicked.setRemainingTime(ClickAnsweredMs);
        QTimer::singleShot(ClickAnsweredMs + 100, this, &HiddenPage::updateWindowOpening);
    }
}

void HiddenPage::updateWindowOpening()
{
    // Without a grant and a click of ours just now the engine blocks
    // window.open in the page itself, so a storm of calls costs the page
    // nothing and us nothing.
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows,
                             m_grant.allowsAnything() && !m_clicked.hasExpired());
}

void HiddenPage::loadVisible(const QUrl &url)
{
    load(url);
    // Visible, so that timers and click handlers are not throttled; there is
    // no view, so the user never sees it. Before the first load the engine
    // ignores this, hence here.
    if (!isVisible())
        setVisible(true);
}

bool HiddenPage::isOnSite(const QUrl &url) const
{
    if (m_siteHost.isEmpty())
        return staysInBrowser(url);
    const QString host = url.host().toLower();
    return isWebAddress(url) && (host == m_siteHost || host.endsWith(QLatin1Char('.') + m_siteHost));
}

bool HiddenPage::isOffSite(const QUrl &url) const
{
    return isWebAddress(url) && !isOnSite(url);
}

bool HiddenPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    bool allowed = staysInBrowser(url);
    // A download from the site may well come from another host; whether the
    // answer is a document is known only once it commits (WebEngineBrowser
    // stops an off-site document then). A frame goes there only while our
    // click lasts, as a hidden frame made for the download does: another
    // host's frame that was there before (an advert) could download under
    // the click's grant.
    const bool download = m_grant.allows(UserGrant::Download);
    if (allowed && isMainFrame && !isOnSite(url) && url.scheme() != QLatin1String("about"))
        allowed = isWebAddress(url) && download;
    else if (allowed && isOffSite(url))
        allowed = download && !m_clicked.hasExpired();
    if (allowed)
        return true;
    Refusals::note(isMainFrame ? "navigation" : "frame navigation", url.toString());
    if (isMainFrame)
        emit topLevelRefused();
    return false;
}

QWebEnginePage *HiddenPage::createWindow(WebWindowType)
{
    // Only right after a click of ours, of either kind.
    const bool mayOpen = m_windows < MaxWindows && !m_clicked.hasExpired();
    if (mayOpen && m_grant.allows(UserGrant::DesktopAddress)) {
        auto *catcher = new NewWindowCatcher(
            profile(), [this](const QUrl &address) { handOver(address); }, this);
        track(catcher);
        return catcher;
    }
    if (mayOpen && m_grant.allows(UserGrant::Download)) {
        auto *window = new DownloadWindow(profile(), this);
        track(window);
        return window;
    }
    Refusals::note("new window from", url().toString());
    return nullptr;
}

void HiddenPage::track(QWebEnginePage *window)
{
    ++m_windows;
    connect(window, &QObject::destroyed, this, [this] { --m_windows; });
}

void HiddenPage::handOver(const QUrl &url)
{
    if (!isWebAddress(url) || !m_grant.take(UserGrant::DesktopAddress)) {
        Refusals::note("desktop address", url.toString());
        return;
    }
    updateWindowOpening();
    if (m_opener)
        m_opener(url);
}

NewWindowCatcher::NewWindowCatcher(QWebEngineProfile *profile, HiddenPage::UrlOpener captured, QObject *parent)
    : SilentPage(profile, parent)
    , m_captured(std::move(captured))
{
    connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) { capture(url); });
    QTimer::singleShot(CatcherLifetimeMs, this, [this] {
        m_done = true;
        deleteLater();
    });
}

bool NewWindowCatcher::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    if (isMainFrame)
        capture(url);
    return false;
}

void NewWindowCatcher::capture(const QUrl &url)
{
    // window.open() first shows about:blank; the real address follows.
    if (m_done || url.isEmpty() || url.scheme() == QLatin1String("about"))
        return;
    m_done = true;
    if (m_captured)
        m_captured(url);
    deleteLater();
}

DownloadWindow::DownloadWindow(QWebEngineProfile *profile, HiddenPage *opener)
    : SilentPage(profile, opener)
    , m_opener(opener)
{
    // Visible once loading, so that its countdown is not throttled (before
    // the first load the engine ignores this); there is no view.
    connect(this, &QWebEnginePage::loadStarted, this, [this] {
        if (!isVisible())
            setVisible(true);
    });
    // Another host's document where the download was to come (an advert,
    // as often as not): the window is not the user's.
    connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) {
        if (m_opener->isOffSite(url)) {
            Refusals::note("off-site document in a download window", url.toString());
            deleteLater();
        }
    });
    QTimer::singleShot(DownloadWindowLifetimeMs, this, &QObject::deleteLater);
}

bool DownloadWindow::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    // The download may come from any web host, but only while the grant lasts.
    const bool allowed = isMainFrame ? isWebAddress(url) && m_opener->allowsDownload() : staysInBrowser(url);
    if (allowed)
        return true;
    Refusals::note(isMainFrame ? "download window navigation" : "download window frame", url.toString());
    if (isMainFrame)
        deleteLater();
    return false;
}

QWebEnginePage *DownloadWindow::createWindow(WebWindowType)
{
    Refusals::note("new window from download window", url().toString());
    return nullptr;
}
