#include "Browser.h"

#include <QTimer>

void ClickElementsByText(Browser *browser, const QString &tagName, const QString &needle, Browser::ClickDone done)
{
    if (browser)
        browser->clickElementsByText(tagName, needle, std::move(done));
    else if (done)
        QTimer::singleShot(0, [done = std::move(done)] { done(0); });
}
