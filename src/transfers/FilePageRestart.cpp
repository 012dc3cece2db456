#include "FilePageRestart.h"

#include "FreeDownloadClick.h"
#include "HiddenPage.h"
#include "WebEngineBrowser.h"

FilePageRestart::FilePageRestart(QWebEngineProfile *profile, const QUrl &page, int entry, QObject *parent)
    : Restart(parent)
    , m_browser(new WebEngineBrowser(profile, {}, page.host(), this))
    , m_click(
          new FreeDownloadClick(m_browser, page.toString(QUrl::FullyEncoded), {.downloads = 1, .entry = entry}, this))
{
    connect(m_browser, &Browser::DocumentComplete, m_click, &FreeDownloadClick::documentComplete);
    connect(m_click, &FreeDownloadClick::gaveUp, this, &Restart::gaveUp);
}

FilePageRestart::~FilePageRestart() = default;

AddressRestart::AddressRestart(QWebEngineProfile *profile, const QUrl &address, int entry, QObject *parent)
    : Restart(parent)
    , m_page(new HiddenPage(profile, HiddenPage::UrlOpener(), QString(), this))
{
    m_page->allowUserAction(UserGrant({.downloads = 1, .entry = entry}));
    m_page->download(address);
}

AddressRestart::~AddressRestart() = default;
