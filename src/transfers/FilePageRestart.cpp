#include "FilePageRestart.h"

#include "FreeDownloadClick.h"
#include "WebEngineBrowser.h"

FilePageRestart::FilePageRestart(QWebEngineProfile *profile, const QUrl &page, int entry, QObject *parent)
    : QObject(parent)
    , m_browser(new WebEngineBrowser(profile, {}, page.host(), this))
    , m_click(
          new FreeDownloadClick(m_browser, page.toString(QUrl::FullyEncoded), {.downloads = 1, .entry = entry}, this))
{
    connect(m_browser, &Browser::DocumentComplete, m_click, &FreeDownloadClick::documentComplete);
    connect(m_click, &FreeDownloadClick::gaveUp, this, &FilePageRestart::gaveUp);
}

FilePageRestart::~FilePageRestart() = default;
