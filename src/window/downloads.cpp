// Download notices: Ctrl+J for the download list, and an entry in it when a
// result click leads to no download, so a dead end does not look like a
// slow site. A click whose tables were clicked may still be on its way (a
// countdown page, a redirect, a window the page opened): it is given up only
// when the user's action has run out.
#include <utility>

#include <QKeySequence>
#include <QShortcut>

#include "Browser.h"
#include "ClickLabel.h"
#include "Form1.h"

void Form1::setUpDownloadNotices()
{
    m_downloadDeadline.setSingleShot(true);
    m_downloadDeadline.setInterval(DownloadDeadlineMs);
    connect(&m_downloadDeadline, &QTimer::timeout, this, [this] {
        const int seconds = m_downloadDeadline.interval() / 1000;
        noDownload(QStringLiteral("点击下载后 %1内没有开始下载")
                       .arg(seconds >= 60 && seconds % 60 == 0 ? QStringLiteral("%1 分钟").arg(seconds / 60)
                                                               : QStringLiteral("%1 秒").arg(seconds)));
    });
    connect(W2, &Browser::loadFailed, this, [this] {
        if (!m_tablesClicked)
            noDownload(QStringLiteral("文件页打不开"));
    });
    // The browsers' own shortcut for their downloads.
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_J), this);
    connect(shortcut, &QShortcut::activated, this, [this] {
        if (m_services.showDownloads)
            m_services.showDownloads();
    });
}

void Form1::expectDownload(int index, const QString &address)
{
    m_awaitingDownload = true;
    m_tablesClicked = false;
    m_clickedTitle = Label3[index]->caption();
    m_clickedPage = QUrl(address);
    m_downloadDeadline.stop();
}

void Form1::fileTablesClicked(int clicked)
{
    if (!m_awaitingDownload)
        return;
    if (clicked == 0) {
        // A page its tables led to (a countdown) has none of its own.
        if (!m_tablesClicked)
            noDownload(QStringLiteral("页面上没有免费下载"));
        return;
    }
    if (!std::exchange(m_tablesClicked, true))
        m_downloadDeadline.start();
}

void Form1::downloadAnswered()
{
    m_awaitingDownload = false;
    m_downloadDeadline.stop();
}

void Form1::noDownload(const QString &reason)
{
    if (!m_awaitingDownload)
        return;
    m_awaitingDownload = false;
    m_downloadDeadline.stop();
    if (m_services.nothingCame)
        m_services.nothingCame(m_clickedTitle, m_clickedPage, reason);
}
