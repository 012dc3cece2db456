#include "WebEngineSession.h"

#include <unistd.h>
#include <utility>

#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "DownloadManager.h"
#include "FilePageRestart.h"
#include "WebEngineBrowser.h"

namespace {

constexpr char FlagsVariable[] = "QTWEBENGINE_CHROMIUM_FLAGS";

// The advertisement site and the resource site never share a renderer
// process (without strict site isolation the engine would put them together
// once over the limit), while the results and file pages, both on the
// resource site, share one: the limit of one is over as soon as any page
// is, so every page of a site joins the process its site has, also while
// the advertisement page rests. Strict isolation would also start a spare
// renderer in advance, which start-up pays for and nothing here uses.
// Nobody sees these pages, so the engine may size its caches and heaps as on
// a small device: a renderer that read hundreds of pages stays at about half
// the size (rendering quality and animations are all it gives up).
constexpr char ProcessModel[] = "--site-per-process --renderer-process-limit=1 "
                                "--disable-features=SpareRendererForSitePerProcess --enable-low-end-device-mode";

constexpr int HttpCacheBytes = 2 * 1024 * 1024;

// What the variable held before we added to it, to put back once the engine
// has read it: programs we start (the desktop browser) must not inherit it.
struct SavedFlags
{
    bool saved = false;
    bool wasSet = false;
    QByteArray value;
};
SavedFlags g_flagsBefore;
std::function<QByteArray()> g_startSwitches;

// The switches learnt meanwhile join ours, before the user's.
void addStartSwitches()
{
    if (!g_startSwitches || !g_flagsBefore.saved)
        return;
    const QByteArray late = std::exchange(g_startSwitches, {})();
    if (late.isEmpty())
        return;
    const QByteArray before = g_flagsBefore.value;
    qputenv(FlagsVariable, QByteArray(ProcessModel) + ' ' + late + (before.isEmpty() ? QByteArray() : ' ' + before));
}

} // namespace

void WebEngineSession::prepareApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (g_flagsBefore.saved)
        return;
    const QByteArray before = qgetenv(FlagsVariable);
    g_flagsBefore = {true, qEnvironmentVariableIsSet(FlagsVariable), before};
    // The user's own flags come last, so they win.
    qputenv(FlagsVariable, QByteArray(ProcessModel) + (before.isEmpty() ? QByteArray() : ' ' + before));
}

bool WebEngineSession::refusesRoot()
{
    return (::getuid() == 0 || ::geteuid() == 0) && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")
           && !qgetenv(FlagsVariable).simplified().split(' ').contains("--no-sandbox");
}

void WebEngineSession::setStartSwitches(std::function<QByteArray()> switches)
{
    g_startSwitches = std::move(switches);
}

WebEngineSession::WebEngineSession(QObject *parent)
    : QObject(parent)
{
    addStartSwitches();
    m_profile = new QWebEngineProfile(this); // no storage name: off the record
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    // Left to itself the memory cache takes some ten megabytes over a long
    // session, mostly of pages that are never asked for again.
    m_profile->setHttpCacheMaximumSize(HttpCacheBytes);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    // Each page opens windows only while the user's action allows it.
    m_profile->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    // A page that declares no charset is read as a Chinese system reads it
    // (the engine's default is Latin-1).
    m_profile->settings()->setDefaultTextEncoding(QStringLiteral("GBK"));
    // 重试 and 继续 start a download again as the user's click did, in
    // pages of this profile.
    const auto restarts
        = [profile = m_profile](const QUrl &url, int entry, bool isFilePage) -> std::unique_ptr<Restart> {
        if (isFilePage)
            return std::make_unique<FilePageRestart>(profile, url, entry);
        return std::make_unique<AddressRestart>(profile, url, entry);
    };
    m_downloads = new DownloadManager(m_profile, restarts, this);
    // The engine has read its flags by now.
    if (g_flagsBefore.wasSet)
        qputenv(FlagsVariable, g_flagsBefore.value);
    else if (g_flagsBefore.saved)
        qunsetenv(FlagsVariable);
}

WebEngineSession::~WebEngineSession()
{
    // Pages must go before their profile; the downloads are kept or
    // cancelled with their manager.
    for (const auto &browser : std::as_const(m_browsers)) {
        if (browser)
            browser->releasePage();
    }
    delete m_downloads;
    delete m_profile;
}

Browser *WebEngineSession::createBrowser(QObject *parent, const QString &siteHost)
{
    // The session outlives its browsers' pages (it releases them), so the
    // opener is read at the time, and a later setUrlOpener reaches them too.
    auto *browser = new WebEngineBrowser(
        m_profile,
        [this](const QUrl &url) {
            if (m_opener)
                m_opener(url);
        },
        siteHost, parent);
    browser->setRestAfter(m_restAfter);
    m_browsers.removeAll(nullptr);
    m_browsers.append(browser);
    return browser;
}
