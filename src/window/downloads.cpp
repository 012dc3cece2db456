// Download notices: Ctrl+J for the download list, and word to a click's
// entry when it leads to no download, so a dead end does not look like a
// slow site. A click whose tables were clicked may still be on its way (a
// countdown page, a redirect, a window the page opened): it is given up only
// when the user's action has run out.
#include <QKeySequence>
#include <QShortcut>

#include "FilePages.h"
#include "Form1.h"

void Form1::setUpDownloadNotices()
{
    connect(m_filePages, &FilePages::gaveUp, this, [this](const FilePages::Click &click, const QString &reason) {
        m_services.nothingCame(click.entry, reason);
    });
    // The browsers' own shortcut for their downloads.
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_J), this);
    connect(shortcut, &QShortcut::activated, this, [this] { m_services.showDownloads(true); });
}

void Form1::downloadAnswered(int entry)
{
    m_filePages->answered(entry);
}

void Form1::setDownloadDeadline(int milliseconds)
{
    m_filePages->setDeadline(milliseconds);
}

int Form1::filePagesInUse() const
{
    return m_filePages->pagesInUse();
}
