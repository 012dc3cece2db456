// Result activation and download trigger.
#include <QListWidget>
#include <QPointer>

#include "Browser.h"
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
    const QString page = shared().SiteBase + QStringLiteral("/f/") + identifier + QStringLiteral(".html");
    W2->Navigate(page);
    expectDownload(index, page);
    // One download for this click; a file page that reloads itself after
    // its table is clicked must not be clicked for ever.
    W2->allowUserAction({.downloads = 1, .title = m_clickedTitle});
    m_fileDocumentsLeft = FileDocumentsPerClick;
}

void Form1::W2_DocumentComplete()
{
    if (!shared().searchMode() || m_fileDocumentsLeft <= 0)
        return;
    --m_fileDocumentsLeft;
    QPointer<Form1> self(this);
    clickFreeDownload(W2, [self](int clicked) {
        if (self)
            self->fileTablesClicked(clicked);
    });
}
