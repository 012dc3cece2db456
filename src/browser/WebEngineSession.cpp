#include "WebEngineSession.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "DownloadManager.h"
#include "WebEngineBrowser.h"

void WebEngineSession::prepareApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

WebEngineSession::WebEngineSession(QObject *parent)
    : QObject(parent)
    , m_profile(new QWebEngineProfile(this))
    , // no storage name: off the record
    m_opener(std::make_shared<UrlOpener>([](const QUrl &url) { QDesktopServices::openUrl(url); }))
{
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    // Each page opens windows only while the user's action allows it.
    m_profile->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    m_downloads = new DownloadManager(m_profile, this);
}

WebEngineSession::~WebEngineSession()
{
    // Pages must go before their profile, and downloads must not leave
    // partial files behind.
    m_downloads->cancelAll();
    for (const auto &browser : std::as_const(m_browsers)) {
        if (browser)
            browser->releasePage();
    }
    delete m_downloads;
    delete m_profile;
}

Browser *WebEngineSession::createBrowser(QObject *parent, const QString &siteHost)
{
    // Read through a shared pointer so a later setUrlOpener reaches browsers
    // created before it.
    std::weak_ptr<UrlOpener> opener = m_opener;
    auto *browser = new WebEngineBrowser(
        m_profile,
        [opener](const QUrl &url) {
            if (auto fn = opener.lock(); fn && *fn)
                (*fn)(url);
        },
        siteHost, parent);
    m_browsers.removeAll(nullptr);
    m_browsers.append(browser);
    return browser;
}

void WebEngineSession::setUrlOpener(UrlOpener opener)
{
    *m_opener = std::move(opener);
}
