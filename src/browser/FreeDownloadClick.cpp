#include "FreeDownloadClick.h"

#include <QPointer>

FreeDownloadClick::FreeDownloadClick(Browser *browser, const QString &page, UserAllowance allowance, QObject *parent)
    : QObject(parent)
    , m_browser(browser)
    , m_page(page)
    , m_allowance(allowance)
{
    // Counted from the click, as the grant is: a page that never comes and
    // a countdown that never ends are given up alike.
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(Browser::UserActionMs);
    connect(&m_deadline, &QTimer::timeout, this, [this] { giveUp(m_clicked ? tooLateText() : noAnswerText()); });
    // A page its tables led to (a countdown) may fail once they were
    // clicked: the download may still come from a window of the page.
    connect(m_browser, &Browser::loadFailed, this, [this](const LoadFailure &failure) {
        if (!m_clicked)
            giveUp(unreachableText(failure));
    });
    m_browser->Navigate(page);
    m_deadline.start();
}

void FreeDownloadClick::documentComplete()
{
    if (!m_waiting || m_documentsLeft <= 0)
        return;
    // Not before: a browser that served another click holds that page until
    // this one comes, and what it does is not this click's.
    if (m_documentsLeft-- == Documents)
        m_browser->allowUserAction(m_allowance);
    QPointer<FreeDownloadClick> self(this);
    ClickElementsByText(m_browser, QStringLiteral("table"), QStringLiteral("0分"), [self](int clicked) {
        if (!self || !self->m_waiting)
            return;
        if (clicked > 0)
            self->m_clicked = true;
        else if (clicked == 0 && !self->m_clicked)
            self->giveUp(noFreeTableText()); // a page the tables led to has none of its own
    });
}

void FreeDownloadClick::answered()
{
    m_waiting = false;
    m_deadline.stop();
}

void FreeDownloadClick::setDeadline(int milliseconds)
{
    m_deadline.start(milliseconds);
}

void FreeDownloadClick::giveUp(const QString &reason)
{
    if (!m_waiting)
        return;
    answered();
    emit gaveUp(reason);
}

QString FreeDownloadClick::unreachableText(const LoadFailure &failure)
{
    switch (failure.kind) {
    case LoadFailure::Unreachable:
        return QStringLiteral("文件页打不开，请检查网络");
    case LoadFailure::HttpError:
        return QStringLiteral("文件页打不开（HTTP %1）").arg(failure.httpStatus);
    case LoadFailure::NoAnswer:
        return noAnswerText();
    case LoadFailure::Refused:
        break;
    }
    return QStringLiteral("文件页打不开");
}

QString FreeDownloadClick::noFreeTableText()
{
    return QStringLiteral("页面上没有免费下载");
}

QString FreeDownloadClick::noAnswerText()
{
    return QStringLiteral("文件页没有响应");
}

QString FreeDownloadClick::tooLateText()
{
    return QStringLiteral("点击下载后 %1 分钟内没有开始下载").arg(Browser::UserActionMs / 60000);
}
