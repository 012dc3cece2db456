// Result paging: the site's own previous/next links are clicked in W1.
#include "Browser.h"
#include "Form1.h"

void Form1::Label1_Click()
{
    hideRowsAndShowProgress();
    startWaitingForResults();
    ClickElementsByText(W1, QStringLiteral("A"), QStringLiteral("上一页"));
}

void Form1::Label2_Click()
{
    hideRowsAndShowProgress();
    startWaitingForResults();
    ClickElementsByText(W1, QStringLiteral("A"), QStringLiteral("下一页"));
}
