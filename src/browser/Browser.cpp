#include "Browser.h"

void ClickElementsByText(Browser *browser, const QString &tagName, const QString &needle, Browser::ClickDone done)
{
    browser->clickElementsByText(tagName, needle, std::move(done));
}
