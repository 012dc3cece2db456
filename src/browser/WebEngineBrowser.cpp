#include "WebEngineBrowser.h"

#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>

#include "HiddenPage.h"
#include "PageScripts.h"

namespace {
// net::ERR_ABORTED: the navigation was stopped or became a download.
constexpr int AbortedError = -3;
} // namespace

WebEngineBrowser::WebEngineBrowser(QWebEngineProfile *profile, std::function<void(const QUrl &)> opener,
                                   const QString &siteHost, QObject *parent)
    : Browser(parent)
    , m_profile(profile)
    , m_opener(std::move(opener))
    , m_siteHost(siteHost)
{ }

HiddenPage *WebEngineBrowser::page()
{
    // Made when first loaded, so start-up makes only the page it loads.
    if (!m_page && !m_released) {
        m_page = new HiddenPage(m_profile, m_opener, m_siteHost, this);
        connect(m_page, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
        // Queued: the page refuses from inside the engine's navigation callback.
        connect(m_page, &HiddenPage::topLevelRefused, this, &WebEngineBrowser::refuseTopLevel, Qt::QueuedConnection);
    }
    return m_page;
}

WebEngineBrowser::~WebEngineBrowser()
{
    releasePage();
}

void WebEngineBrowser::releasePage()
{
    ++m_generation;
    m_released = true;
    delete m_page.data();
}

void WebEngineBrowser::Navigate(const QString &address)
{
    ++m_generation;
    m_snapshotPending = false;
    m_resnapshot = false;
    m_hasDocument = false;
    m_refused = false;
    m_text.clear();
    m_html.clear();
    if (HiddenPage *p = page()) {
        // Whatever the user allowed the last page to do ends with it.
        p->endGrant();
        p->loadVisible(QUrl(address, QUrl::TolerantMode));
    }
}

void WebEngineBrowser::allowUserAction(int downloads, int desktopAddresses)
{
    if (HiddenPage *p = page())
        p->allowUserAction(downloads, desktopAddresses);
}

void WebEngineBrowser::refuseTopLevel()
{
    // A navigation stopped for leaving the site is a failed load, at once:
    // the caller must not wait for a document that will never come.
    if (m_refused)
        return;
    m_refused = true;
    emit loadFailed();
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        // Whatever document a pending snapshot was meant for is on its way out.
        ++m_generation;
        m_refused = false;
        if (m_snapshotPending)
            m_resnapshot = true;
        m_snapshotPending = false;
        break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        finishPendingClicks();
        m_resnapshot = false;
        if (info.isErrorPage() || !m_page || info.url().scheme() == QLatin1String("about"))
            break;
        if (!m_page->isOnSite(info.url())) {
            // Let through only in case it was a download; as a document it
            // is neither read nor clicked, and its scripts are stopped.
            Refusals::note("off-site document", info.url().toString());
            m_page->endGrant();
            m_page->setUrl(QUrl(QStringLiteral("about:blank")));
            refuseTopLevel();
            break;
        }
        m_refused = false;
        takeSnapshot();
        break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        finishPendingClicks();
        if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus || info.errorCode() == AbortedError) {
            // Stopped or turned into a download: the previous document stays,
            // so a snapshot we dropped for it is taken again.
            if (m_resnapshot) {
                m_resnapshot = false;
                takeSnapshot();
            }
            break;
        }
        m_resnapshot = false;
        if (!m_refused)
            emit loadFailed(); // a refused navigation was reported already
        break;
    }
}

void WebEngineBrowser::takeSnapshot()
{
    if (!m_page)
        return;
    const quint64 generation = ++m_generation;
    m_snapshotPending = true;
    QPointer<WebEngineBrowser> self(this);
    m_page->runJavaScript(PageScripts::snapshot(), QWebEngineScript::ApplicationWorld,
                          [self, generation](const QVariant &result) {
                              if (!self || self->m_generation != generation)
                                  return;
                              self->m_snapshotPending = false;
                              const QVariantMap map = result.toMap();
                              self->m_text = map.value(QStringLiteral("text")).toString();
                              self->m_html = map.value(QStringLiteral("html")).toString();
                              self->m_hasDocument = true;
                              emit self->DocumentComplete();
                          });
}

void WebEngineBrowser::clickElementsByText(const QString &tagName, const QString &needle, ClickDone done)
{
    const quint64 id = ++m_lastClick;
    m_pendingClicks.insert(id, std::move(done));
    if (!m_page || !m_hasDocument) {
        finishClick(id, 0);
        return;
    }
    QPointer<WebEngineBrowser> self(this);
    m_page->runJavaScript(PageScripts::clickByText(tagName, needle), QWebEngineScript::ApplicationWorld,
                          [self, id](const QVariant &clicked) {
                              // No answer at all: the frame that ran it is gone.
                              if (self)
                                  self->finishClick(id, clicked.isValid() ? clicked.toInt() : ClickedUnknown);
                          });
}

// Each click is reported once, from the event loop: by its script's answer or,
// when the document went away first, by the end of the load that replaced it.
void WebEngineBrowser::finishClick(quint64 id, int clicked)
{
    ClickDone done = m_pendingClicks.take(id);
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
    if (!m_page)
        return;
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [done = std::move(done)](const QVariant &v) {
        if (done)
            done(v);
    });
}
