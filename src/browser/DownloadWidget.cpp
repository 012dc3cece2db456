#include "DownloadWidget.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

DownloadWidget::DownloadWidget(const QString &filePath, QWidget *parent)
    : QWidget(parent, Qt::Window), m_path(filePath)
{
    const QString name = QFileInfo(filePath).fileName();
    setWindowTitle(QStringLiteral("下载 - %1").arg(name));
    setMinimumWidth(420);

    m_name = new QLabel(name, this);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 0);
    m_status = new QLabel(QStringLiteral("正在下载…"), this);
    m_savedPath = new QLabel(this);
    m_savedPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_savedPath->setWordWrap(true);
    m_savedPath->hide();
    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_openFolder = new QPushButton(QStringLiteral("打开文件夹"), this);
    m_openFolder->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_openFolder);
    buttons->addWidget(m_cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_name);
    layout->addWidget(m_bar);
    layout->addWidget(m_status);
    layout->addWidget(m_savedPath);
    layout->addLayout(buttons);

    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_finished)
            close();
        else
            emit cancelRequested();
    });
    connect(m_openFolder, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(m_path).absolutePath()));
    });
    m_clock.start();
}

void DownloadWidget::setProgress(qint64 received, qint64 total)
{
    if (m_finished)
        return;
    const QLocale locale;
    if (total > 0) {
        // Percent keeps the bar within int range for files of any size.
        m_bar->setRange(0, 1000);
        m_bar->setValue(int(received * 1000 / total));
    }
    const qint64 ms = qMax<qint64>(1, m_clock.elapsed());
    const qint64 speed = received * 1000 / ms;
    QString text = total > 0
        ? QStringLiteral("%1 / %2").arg(locale.formattedDataSize(received), locale.formattedDataSize(total))
        : locale.formattedDataSize(received);
    text += QStringLiteral("  (%1/s)").arg(locale.formattedDataSize(speed));
    m_status->setText(text);
}

void DownloadWidget::setFinished(bool ok, const QString &message)
{
    if (m_finished)
        return;
    m_finished = true;
    // Finished windows go away for good when closed.
    setAttribute(Qt::WA_DeleteOnClose);
    m_cancel->setText(QStringLiteral("关闭"));
    if (ok) {
        m_bar->setRange(0, 1000);
        m_bar->setValue(1000);
        m_status->setText(QStringLiteral("已完成"));
        m_savedPath->setText(QDir::toNativeSeparators(m_path));
        m_savedPath->show();
        m_openFolder->show();
    } else {
        m_bar->setRange(0, 1000);
        m_bar->setValue(0);
        m_status->setText(message);
    }
}

void DownloadWidget::bringForward()
{
    show();
    raise();
    activateWindow();
}

void DownloadWidget::closeEvent(QCloseEvent *event)
{
    // Closing the window of a running download only hides it; the download
    // goes on and its window comes back if the user asks for it again.
    if (!m_finished) {
        hide();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
