#include "HiddenPage.h"

#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineSettings>

#include "Refusals.h"

namespace {

// A storm of window.open calls must not turn into a storm of pages.
constexpr int MaxCatchers = 4;
// A new window that never navigates anywhere is not kept around.
constexpr int CatcherLifetimeMs = 10000;

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
    settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    setAudioMuted(true);
    updateWindowOpening();
}

void HiddenPage::allowUserAction(const UserGrant &grant)
{
    m_grant = grant;
    updateWindowOpening();
    // The grant runs out by itself; the engine's switch must follow.
    QTimer::singleShot(UserGrant::LifetimeMs + 100, this, &HiddenPage::updateWindowOpening);
}

void HiddenPage::endGrant()
{
    m_grant = UserGrant();
    updateWindowOpening();
}

void HiddenPage::updateWindowOpening()
{
    // Without a grant the engine blocks window.open in the page itself, so
    // a storm of calls costs the page nothing and us nothing.
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, m_grant.allows(UserGrant::DesktopAddress));
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

bool HiddenPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    bool allowed = staysInBrowser(url);
    // A download from the site may well come from another host; whether the
    // answer is a document is known only once it commits (WebEngineBrowser
    // stops an off-site document then).
    if (allowed && isMainFrame && !isOnSite(url) && url.scheme() != QLatin1String("about"))
        allowed = isWebAddress(url) && m_grant.allows(UserGrant::Download);
    if (allowed)
        return true;
    Refusals::note(isMainFrame ? "navigation" : "frame navigation", url.toString());
    if (isMainFrame)
        emit topLevelRefused();
    return false;
}

QWebEnginePage *HiddenPage::createWindow(WebWindowType)
{
    if (!m_grant.allows(UserGrant::DesktopAddress) || m_catchers >= MaxCatchers) {
        Refusals::note("new window from", url().toString());
        return nullptr;
    }
    auto *catcher = new NewWindowCatcher(
        profile(), [this](const QUrl &address) { handOver(address); }, this);
    ++m_catchers;
    connect(catcher, &QObject::destroyed, this, [this] { --m_catchers; });
    return catcher;
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
