#include "Browser.h"

void ClickElementsByText(Browser *browser, const QString &tagName, const QString &needle, Browser::ClickDone done)
{
    browser->clickElementsByText(tagName, needle, std::move(done));
}

void clickFreeDownload(Browser *browser, Browser::ClickDone done)
{
    ClickElementsByText(browser, QStringLiteral("table"), QStringLiteral("0分"), std::move(done));
}
