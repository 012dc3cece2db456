#include "DownloadList.h"

#include <QDesktopServices>
#include <QScrollArea>
#include <QVBoxLayout>

#include "Desktop.h"
#include "DownloadRow.h"
#include "Downloads.h"

DownloadList::DownloadList(Downloads &downloads, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_downloads(&downloads)
{
    setObjectName(QStringLiteral("DownloadList"));
    setWindowTitle(QStringLiteral("下载"));
    setWindowIcon(QIcon(QStringLiteral(":/images/icon.png")));
    resize(460, 380);
    setAttribute(Qt::WA_ShowWithoutActivating);

    auto *content = new QWidget;
    m_rowsLayout = new QVBoxLayout(content);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    m_rowsLayout->addStretch();
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    scroll->setFocusPolicy(Qt::NoFocus);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    for (const DownloadEntry &entry : downloads.entries())
        add(entry.id);
    connect(&downloads, &Downloads::entryAdded, this, [this](int id) {
        add(id);
        showWithoutFocus();
    });
    connect(&downloads, &Downloads::entryChanged, this, &DownloadList::update);
    connect(&downloads, &Downloads::attentionWanted, this, &DownloadList::showWithoutFocus);
}

void DownloadList::showWithoutFocus()
{
    if (!isVisible())
        show();
    raise();
}

void DownloadList::add(int id)
{
    if (m_rows.contains(id) || !m_downloads)
        return;
    auto *row = new DownloadRow;
    m_rows.insert(id, row);
    // Rows alternate their background a little, like a list view.
    row->setAutoFillBackground(true);
    QPalette p = row->palette();
    p.setColor(QPalette::Window, m_rows.size() % 2 ? p.color(QPalette::Base) : p.color(QPalette::AlternateBase));
    row->setPalette(p);
    m_rowsLayout->insertWidget(m_rowsLayout->count() - 1, row);
    connect(row, &DownloadRow::triggered, this, &DownloadList::onAction);
    row->setEntry(m_downloads->entry(id));
}

void DownloadList::update(int id)
{
    if (DownloadRow *row = m_rows.value(id); row && m_downloads)
        row->setEntry(m_downloads->entry(id));
}

void DownloadList::onAction(int id, DownloadEntry::Action action)
{
    if (!m_downloads)
        return;
    const DownloadEntry entry = m_downloads->entry(id);
    switch (action) {
    case DownloadEntry::Open:
        Desktop::openFile(entry.path);
        break;
    case DownloadEntry::OpenFolder:
        Desktop::showInFolder(entry.path);
        break;
    case DownloadEntry::OpenPage:
        QDesktopServices::openUrl(entry.url);
        break;
    case DownloadEntry::OpenExisting:
        m_downloads->act(id, action);
        Desktop::openFile(m_downloads->entry(id).path);
        break;
    default:
        m_downloads->act(id, action);
        break;
    }
}
