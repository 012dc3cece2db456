#include "WebEngineBrowser.h"

#include <algorithm>
#include <iterator>

#include <QEventLoop>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>

#include "HiddenPage.h"
#include "PageScripts.h"
#include "Refusals.h"

namespace {

// net::ERR_ABORTED: the navigation was stopped or became a download.
constexpr int AbortedError = -3;

// What the user is told of a failed load: the network, or the site.
LoadFailure failureOf(const QWebEngineLoadingInfo &info)
{
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
        return {LoadFailure::HttpError, info.errorCode()};
    // Chromium's net errors for a connection that was never made:
    // refused, failed, no such host, offline, address invalid or
    // unreachable, timed out connecting, proxy unreachable, name
    // resolution failed, network changed.
    static constexpr int neverConnected[] = {-102, -104, -105, -106, -108, -109, -118, -130, -137, -21};
    if (std::find(std::begin(neverConnected), std::end(neverConnected), info.errorCode()) != std::end(neverConnected))
        return {LoadFailure::Unreachable, 0};
    // Sent where no web page is: an unknown scheme, an invalid or unsafe
    // redirect, redirects without end.
    static constexpr int sentAway[] = {-302, -303, -310, -311};
    if (std::find(std::begin(sentAway), std::end(sentAway), info.errorCode()) != std::end(sentAway))
        return {LoadFailure::Refused, 0};
    return {LoadFailure::NoAnswer, 0};
}

} // namespace

WebEngineBrowser::WebEngineBrowser(QWebEngineProfile *profile, std::function<void(const QUrl &)> opener,
                                   const QString &siteHost, QObject *parent)
    : Browser(parent)
    , m_profile(profile)
    , m_opener(std::move(opener))
    , m_siteHost(siteHost)
{
    m_restTimer.setSingleShot(true);
    connect(&m_restTimer, &QTimer::timeout, this, [this] {
        if (isIdle())
            rest();
        else if (m_page && !isResting())
            restartRestTimer();
    });
}

void WebEngineBrowser::waitForLoadStart(int maxMs)
{
    if (!m_page || m_phase != Phase::Empty || m_hasDocument)
        return;
    QEventLoop loop;
    connect(m_page, &QWebEnginePage::loadingChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(maxMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void WebEngineBrowser::setRestAfter(int ms)
{
    m_restTimer.setInterval(ms);
    restartRestTimer();
}

void WebEngineBrowser::restartRestTimer()
{
    if (m_restTimer.interval() > 0 && m_page && !isResting())
        m_restTimer.start();
    else
        m_restTimer.stop();
}

bool WebEngineBrowser::isIdle() const
{
    // A grant still open means the user's action may yet lead to a download
    // or a window from this page: it must stay.
    return m_page && m_phase == Phase::Ready && m_pendingClicks.isEmpty() && !m_page->hasOpenGrant();
}

bool WebEngineBrowser::isQuiet() const
{
    const bool loading = m_phase == Phase::Loading || m_phase == Phase::Snapshotting || m_phase == Phase::Restoring
                         || (m_page && m_page->isLoading());
    return !loading && m_pendingClicks.isEmpty() && m_queuedClicks.isEmpty();
}

bool WebEngineBrowser::hasOpenGrant() const
{
    return m_held.allowsAnything() || (m_page && m_page->hasOpenGrant());
}

void WebEngineBrowser::rest()
{
    m_restingUrl = m_page->url();
    m_phase = Phase::Resting;
    m_restTimer.stop();
    // The page goes, not only its document: a discarded page would keep
    // its engine-side objects, and a fresh page is what a first load makes.
    dropPage();
}

void WebEngineBrowser::restNow()
{
    // A page still loading, clicking or under a grant rests when its timer says.
    QTimer::singleShot(0, this, [this] {
        if (isIdle())
            rest();
    });
}

void WebEngineBrowser::restore()
{
    m_phase = Phase::Restoring;
    if (HiddenPage *p = page())
        p->loadVisible(m_restingUrl);
}

void WebEngineBrowser::onRestoreLoading(const QWebEngineLoadingInfo &info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        if (info.isErrorPage())
            break;
        if (!m_page->isOnSite(info.url()))
            return abandonRestore(LoadFailure {LoadFailure::Refused, 0});
        m_phase = Phase::Ready;
        if (m_held.allowsAnything())
            m_page->allowUserAction(m_held);
        m_held = UserGrant();
        for (const QueuedClick &click : std::exchange(m_queuedClicks, {}))
            runClick(click.id, click.tagName, click.needle);
        restartRestTimer();
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        if (info.errorCode() != AbortedError)
            return abandonRestore(failureOf(info));
        break;
    }
    abandonRestore();
}

// The snapshot stays what the window knows; a failed reload leaves the page
// at rest, so the next click tries again. Why it failed is told before the
// clicks are answered, as for any page.
void WebEngineBrowser::abandonRestore(const std::optional<LoadFailure> &failure)
{
    // What the user allowed for the queued clicks lapses.
    m_phase = Phase::Resting;
    m_held = UserGrant();
    const QList<QueuedClick> clicks = std::exchange(m_queuedClicks, {});
    retirePage();
    // Done with the page before anyone hears: what they do next starts afresh.
    if (failure)
        emit loadFailed(*failure);
    for (const QueuedClick &click : clicks)
        finishClick(click.id, 0); // they found nothing
}

qint64 WebEngineBrowser::rendererPid() const
{
    return m_page && !isResting() ? m_page->renderProcessPid() : 0;
}

HiddenPage *WebEngineBrowser::page()
{
    // Made when first loaded, so start-up makes only the page it loads.
    if (!m_page && m_phase != Phase::Released) {
        m_page = new HiddenPage(m_profile, m_opener, m_siteHost, this);
        connect(m_page, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
        // Queued: the page refuses from inside the engine's navigation callback;
        // by then the page may have been let go.
        connect(
            m_page, &HiddenPage::topLevelRefused, this,
            [this, refusing = m_page] {
                if (refusing && refusing == m_page)
                    refuseTopLevel();
            },
            Qt::QueuedConnection);
    }
    return m_page;
}

WebEngineBrowser::~WebEngineBrowser()
{
    releasePage();
}

void WebEngineBrowser::dropPage()
{
    // Forgotten first: the page's destructor answers pending scripts, and
    // what that calls must not reach a page that is half destroyed.
    delete std::exchange(m_page, nullptr).data();
}

void WebEngineBrowser::retirePage()
{
    if (!m_page)
        return;
    // Nothing more of the page reaches the window, nor what the user allowed
    // it; it goes later, since this may run inside its own signal or the
    // engine's about its download.
    m_page->disconnect(this);
    m_page->endGrant();
    std::exchange(m_page, nullptr)->deleteLater();
}

void WebEngineBrowser::releasePage()
{
    ++m_generation;
    m_phase = Phase::Released;
    dropPage();
}

void WebEngineBrowser::preload(const QString &address)
{
    Navigate(address);
    m_preloaded = address;
}

void WebEngineBrowser::Navigate(const QString &address)
{
    if (std::exchange(m_preloaded, QString()) == address && !address.isEmpty())
        return;
    // A reload for queued clicks gives way to the new document.
    if (m_phase == Phase::Restoring)
        abandonRestore();
    if (m_phase != Phase::Released)
        m_phase = Phase::Empty;
    m_held = UserGrant();
    ++m_generation;
    m_snapshotDropped = false;
    m_hasDocument = false;
    m_failureSent = false;
    m_text.clear();
    m_html.clear();
    m_charset.clear();
    // A document acts until the next one comes, and nothing it does is a
    // later grant's: a page that had a grant goes whole.
    if (m_page && m_page->wasGranted())
        retirePage();
    if (HiddenPage *p = page()) {
        // Whatever the user allowed the last page to do ends with it.
        p->endGrant();
        p->loadVisible(QUrl(address, QUrl::TolerantMode));
    }
    restartRestTimer();
}

void WebEngineBrowser::allowUserAction(UserAllowance allowance)
{
    const UserGrant grant(allowance);
    if (isResting()) {
        m_held = grant;
        return;
    }
    if (HiddenPage *p = page())
        p->allowUserAction(grant);
    restartRestTimer();
}

void WebEngineBrowser::refuseTopLevel()
{
    m_preloaded.clear();
    // A navigation stopped for leaving the site is a failed load, at once:
    // the caller must not wait for a document that will never come.
    if (m_phase == Phase::Restoring) {
        abandonRestore();
        return;
    }
    if (m_failureSent)
        return;
    m_failureSent = true;
    emit loadFailed({LoadFailure::Refused, 0});
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    // A preload that ended before anyone listened is started again by the
    // Navigate that was to join it, so that its outcome is heard.
    if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
        m_preloaded.clear();
    if (m_phase == Phase::Restoring)
        onRestoreLoading(info);
    else
        onDocumentLoading(info);
    restartRestTimer();
}

void WebEngineBrowser::onDocumentLoading(const QWebEngineLoadingInfo &info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        // Whatever document a pending snapshot was meant for is on its way out.
        ++m_generation;
        m_failureSent = false;
        m_snapshotDropped = m_phase == Phase::Snapshotting;
        m_phase = Phase::Loading;
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        finishPendingClicks();
        m_snapshotDropped = false;
        if (info.isErrorPage() || !m_page || info.url().scheme() == QLatin1String("about")) {
            settle();
            return;
        }
        if (!m_page->isOnSite(info.url())) {
            // Let through only in case it was a download; as a document it
            // is neither read nor clicked, and its scripts are stopped.
            Refusals::note("off-site document", info.url().toString());
            m_page->endGrant();
            m_page->setUrl(QUrl(QStringLiteral("about:blank")));
            settle();
            refuseTopLevel();
            return;
        }
        m_failureSent = false;
        takeSnapshot();
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        finishPendingClicks();
        if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus || info.errorCode() == AbortedError) {
            // Stopped or turned into a download: the previous document stays,
            // so a snapshot we dropped for it is taken again.
            if (std::exchange(m_snapshotDropped, false))
                takeSnapshot();
            else
                settle();
            // Sent to an address no browser shows (the engine stops that
            // itself): no document will come of it.
            const QString scheme = info.url().scheme();
            if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("about"))
                refuseTopLevel();
            return;
        }
        m_snapshotDropped = false;
        settle();
        if (!m_failureSent)
            emit loadFailed(failureOf(info)); // a refused navigation was reported already
        return;
    }
}

void WebEngineBrowser::takeSnapshot()
{
    if (!m_page)
        return;
    const quint64 generation = ++m_generation;
    m_phase = Phase::Snapshotting;
    QPointer<WebEngineBrowser> self(this);
    m_page->runJavaScript(PageScripts::snapshot(), QWebEngineScript::ApplicationWorld,
                          [self, generation](const QVariant &result) {
                              if (!self || self->m_generation != generation)
                                  return;
                              self->m_phase = Phase::Ready;
                              const QVariantMap map = result.toMap();
                              self->m_text = map.value(QStringLiteral("text")).toString();
                              self->m_html = map.value(QStringLiteral("html")).toString();
                              self->m_charset = map.value(QStringLiteral("charset")).toString();
                              if (self->m_page)
                                  self->m_page->setDocumentCharset(self->m_charset);
                              self->m_hasDocument = true;
                              self->restartRestTimer();
                              emit self->DocumentComplete();
                          });
}

void WebEngineBrowser::clickElementsByText(const QString &tagName, const QString &needle, ClickDone done)
{
    const quint64 id = ++m_lastClick;
    m_pendingClicks.insert(id, std::move(done));
    if (isResting()) {
        m_queuedClicks.append({id, tagName, needle});
        if (m_phase == Phase::Resting)
            restore();
        return;
    }
    runClick(id, tagName, needle);
}

void WebEngineBrowser::runClick(quint64 id, const QString &tagName, const QString &needle)
{
    if (!m_page || !m_hasDocument) {
        finishClick(id, 0);
        return;
    }
    QPointer<WebEngineBrowser> self(this);
    m_page->markClicked();
    m_page->runJavaScript(PageScripts::clickByText(tagName, needle), QWebEngineScript::ApplicationWorld,
                          [self, id, ran = static_cast<const void *>(m_page.data())](const QVariant &clicked) {
                              // No answer at all: the frame that ran it is gone.
                              if (!self)
                                  return;
                              const int count = clicked.isValid() ? clicked.toInt() : ClickedUnknown;
                              // Only the page that ran it, never one going away
                              // (which answers as it is destroyed).
                              if (self->m_page && self->m_page.data() == ran)
                                  self->m_page->markClickAnswered(count);
                              self->finishClick(id, count);
                          });
}

// Each click is reported once, from the event loop: by its script's answer or,
// when the document went away first, by the end of the load that replaced it.
void WebEngineBrowser::finishClick(quint64 id, int clicked)
{
    ClickDone done = m_pendingClicks.take(id);
    restartRestTimer();
    if (done)
        QMetaObject::invokeMethod(
            this, [done = std::move(done), clicked] { done(clicked); }, Qt::QueuedConnection);
}

void WebEngineBrowser::finishPendingClicks()
{
    for (const quint64 id : m_pendingClicks.keys())
        finishClick(id, ClickedUnknown);
}

void WebEngineBrowser::evaluate(const QString &script, std::function<void(const QVariant &)> done)
{
    if (!m_page || isResting())
        return;
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [done = std::move(done)](const QVariant &v) {
        if (done)
            done(v);
    });
}
