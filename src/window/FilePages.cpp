#include "FilePages.h"

#include <algorithm>

#include "Browser.h"
#include "FreeDownloadClick.h"

FilePages::FilePages(Browser *first, MakeBrowser more, QObject *parent)
    : QObject(parent)
    , m_first(first)
    , m_more(std::move(more))
{
    connect(m_first, &Browser::DocumentComplete, this, [this] { documentComplete(m_first); });
}

Browser *FilePages::made()
{
    Browser *browser = m_more();
    connect(browser, &Browser::DocumentComplete, this, [this, browser] { documentComplete(browser); });
    return browser;
}

bool FilePages::isServing(const QString &page) const
{
    return std::any_of(m_serving.cbegin(), m_serving.cend(), [&](const Serving &s) { return s.click.page == page; })
           || std::any_of(m_waiting.cbegin(), m_waiting.cend(), [&](const Click &c) { return c.page == page; });
}

void FilePages::open(const Click &click)
{
    const bool firstFree
        = std::none_of(m_serving.cbegin(), m_serving.cend(), [this](const Serving &s) { return s.browser == m_first; });
    if (firstFree)
        serve(click, m_first);
    else if (m_serving.size() < MaxPages)
        serve(click, made());
    else
        m_waiting.append(click);
}

void FilePages::serve(const Click &click, Browser *browser)
{
    auto *freeClick = new FreeDownloadClick(browser, click.page, {.downloads = 1, .entry = click.entry}, this);
    if (m_deadlineMs > 0)
        freeClick->setDeadline(m_deadlineMs);
    m_serving.append({click, browser, freeClick});
    connect(freeClick, &FreeDownloadClick::gaveUp, this, [this, freeClick, click](const QString &reason) {
        release(freeClick, false);
        emit gaveUp(click, reason);
    });
}

void FilePages::documentComplete(Browser *browser)
{
    for (const Serving &s : std::as_const(m_serving)) {
        if (s.browser == browser)
            s.freeClick->documentComplete();
    }
}

void FilePages::answered(int entry)
{
    const auto it = std::find_if(m_serving.cbegin(), m_serving.cend(),
                                 [entry](const Serving &s) { return s.click.entry == entry; });
    if (it != m_serving.cend()) {
        it->freeClick->answered();
        release(it->freeClick, true);
    }
}

// Its browser goes to the next click waiting, or, when it was made for a
// click, goes altogether. A page whose click gave up may still bring that
// click's download late (one the engine had begun, a window of the page):
// it never serves the next click, which would pay for it.
void FilePages::release(FreeDownloadClick *freeClick, bool answered)
{
    const auto it = std::find_if(m_serving.begin(), m_serving.end(),
                                 [freeClick](const Serving &s) { return s.freeClick == freeClick; });
    if (it == m_serving.end())
        return;
    Browser *browser = it->browser;
    m_serving.erase(it);
    // Later: this may run inside the click's own signal.
    freeClick->deleteLater();
    if (!m_waiting.isEmpty() && answered) {
        serve(m_waiting.takeFirst(), browser);
        return;
    }
    if (browser != m_first)
        browser->deleteLater();
    if (!m_waiting.isEmpty())
        serve(m_waiting.takeFirst(), made());
}
