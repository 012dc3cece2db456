#include "FilePageRestart.h"

#include <QPointer>

#include "WebEngineBrowser.h"

namespace {
// A page that reloads itself after its table is clicked is clicked no more
// often than this, as for a row's click.
constexpr int DocumentsPerRestart = 3;
} // namespace

FilePageRestart::FilePageRestart(QWebEngineProfile *profile, const QUrl &page, QObject *parent)
    : QObject(parent)
    , m_browser(new WebEngineBrowser(profile, {}, page.host(), this))
    , m_documentsLeft(DocumentsPerRestart)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(Browser::UserActionMs);
    connect(&m_deadline, &QTimer::timeout, this, [this] { giveUp(QStringLiteral("文件页上没有开始下载")); });
    connect(m_browser, &Browser::loadFailed, this, [this] {
        if (!m_clicked)
            giveUp(QStringLiteral("文件页打不开"));
    });
    connect(m_browser, &Browser::DocumentComplete, this, [this] {
        if (m_documentsLeft-- <= 0)
            return;
        QPointer<FilePageRestart> self(this);
        clickFreeDownload(m_browser, [self](int clicked) {
            if (!self)
                return;
            if (clicked > 0)
                self->m_clicked = true;
            else if (clicked == 0 && !self->m_clicked)
                self->giveUp(QStringLiteral("页面上没有免费下载"));
        });
    });
    m_browser->Navigate(page.toString(QUrl::FullyEncoded));
    m_browser->allowUserAction({.downloads = 1});
    m_deadline.start();
}

FilePageRestart::~FilePageRestart() = default;

bool FilePageRestart::holds(const QObject *page) const
{
    return m_browser->holds(page);
}

void FilePageRestart::giveUp(const QString &reason)
{
    m_deadline.stop();
    emit gaveUp(reason);
}
