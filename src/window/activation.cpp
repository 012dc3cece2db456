// Result activation and download trigger.
#include <QListWidget>

#include "Browser.h"
#include "ClickLabel.h"
#include "FilePages.h"
#include "Form1.h"
#include "SharedState.h"
#include "TextOps.h"

void Form1::Label3_Click(int index)
{
    if (!shared().searchMode()) {
        // Before the first search the rows advertise: follow the advertisement
        // page's links that carry the row's number. The user's click may open
        // one page in the desktop browser and start one download.
        W3->allowUserAction({.downloads = 1, .desktopAddresses = 1});
        ClickElementsByText(W3, QStringLiteral("A"), QString::number(index), endW3GrantUnlessClicked());
        return;
    }
    // A row left shown without an identifier would load "/f/.html".
    const QListWidgetItem *item = List1->item(index);
    if (!item)
        return;
    const QString identifier = TextOps::Trim(item->text());
    if (identifier.isEmpty())
        return;
    const QString page = shared().SiteBase + QStringLiteral("/f/") + identifier + QStringLiteral(".html");
    // The same row clicked again while its page is on its way adds nothing:
    // the list shows its entry.
    if (m_filePages->isServing(page)) {
        m_services.showDownloads(false);
        return;
    }
    // Every click is in the download list at once, and its download goes to
    // that entry; none is lost to a later one.
    const QString title = Label3[index]->caption();
    const std::optional<int> entry = m_services.clickRegistered(title, QUrl(page));
    if (!entry)
        return; // downloading already: the list shows that one
    m_filePages->open({page, *entry});
}
