// Result activation and download trigger.
#include <QListWidget>

#include "Browser.h"
#include "Form1.h"
#include "SharedState.h"
#include "TextOps.h"

void Form1::Label3_Click(int index)
{
    if (!shared().searchMode()) {
        // Before the first search the rows advertise: follow the advertisement
        // page's links that carry the row's number.
        ClickElementsByText(W3, QStringLiteral("A"), QString::number(index));
        return;
    }
    // A row left shown without an identifier would load "/f/.html".
    const QListWidgetItem *item = List1->item(index);
    if (!item)
        return;
    const QString identifier = TextOps::Trim(item->text());
    if (identifier.isEmpty())
        return;
    W2->Navigate(shared().SiteBase + QStringLiteral("/f/") + identifier + QStringLiteral(".html"));
}

void Form1::W2_DocumentComplete()
{
    if (!shared().searchMode())
        return;
    ClickElementsByText(W2, QStringLiteral("table"), QStringLiteral("0分"));
}
