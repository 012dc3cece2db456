#include "HiddenPage.h"

#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineSettings>

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

HiddenPage::HiddenPage(QWebEngineProfile *profile, UrlOpener opener, QObject *parent)
    : SilentPage(profile, parent), m_opener(std::move(opener))
{
    settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    setAudioMuted(true);
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

QWebEnginePage *HiddenPage::createWindow(WebWindowType)
{
    return new NewWindowCatcher(profile(), m_opener, this);
}

NewWindowCatcher::NewWindowCatcher(QWebEngineProfile *profile, HiddenPage::UrlOpener opener, QObject *parent)
    : SilentPage(profile, parent), m_opener(std::move(opener))
{
    connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) { capture(url); });
    // A window that never navigates anywhere is not kept around.
    QTimer::singleShot(30000, this, [this] {
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
    if (m_opener)
        m_opener(url);
    deleteLater();
}
