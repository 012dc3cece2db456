#include "DownloadList.h"

#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "Desktop.h"
#include "DownloadManager.h"

namespace {

constexpr DownloadEntry::Action ButtonOrder[] = {
    DownloadEntry::Pause,          DownloadEntry::Resume,     DownloadEntry::Retry,
    DownloadEntry::Open,           DownloadEntry::OpenFolder, DownloadEntry::OpenExisting,
    DownloadEntry::DownloadAnyway, DownloadEntry::OpenPage,   DownloadEntry::Cancel,
};

} // namespace

DownloadRow::DownloadRow(QWidget *parent)
    : QWidget(parent)
{
    m_name = new QLabel(this);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_name->font();
    bold.setBold(true);
    m_name->setFont(bold);
    m_size = new QLabel(this);
    m_bar = new QProgressBar(this);
    m_bar->setTextVisible(false);
    m_bar->setMaximumHeight(12);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_buttons = new QWidget(this);
    auto *buttons = new QHBoxLayout(m_buttons);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch();

    auto *top = new QHBoxLayout;
    top->addWidget(m_name, 1);
    top->addWidget(m_size);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(3);
    layout->addLayout(top);
    layout->addWidget(m_bar);
    layout->addWidget(m_status);
    layout->addWidget(m_buttons);
}

void DownloadRow::setEntry(const DownloadEntry &entry)
{
    m_entry = entry;
    m_name->setText(entry.name);
    m_name->setToolTip(QDir::toNativeSeparators(entry.path));
    m_size->setText(entry.sizeText());
    const int permille = entry.permille();
    m_bar->setVisible(entry.state != DownloadEntry::State::NothingCame);
    // A running download of unknown size shows a busy bar.
    m_bar->setRange(0, permille < 0 && entry.state == DownloadEntry::State::Running ? 0 : 1000);
    m_bar->setValue(qMax(0, permille));
    m_status->setText(entry.statusText());

    const DownloadEntry::Actions actions = entry.actions();
    if (!m_first && actions == m_shownActions)
        return;
    m_first = false;
    m_shownActions = actions;
    auto *layout = static_cast<QHBoxLayout *>(m_buttons->layout());
    while (layout->count() > 1) {
        QLayoutItem *item = layout->takeAt(1);
        delete item->widget();
        delete item;
    }
    for (const DownloadEntry::Action action : ButtonOrder) {
        if (!actions.testFlag(action))
            continue;
        auto *button = new QPushButton(DownloadEntry::actionText(action), m_buttons);
        button->setObjectName(QStringLiteral("action%1").arg(int(action)));
        // Buttons never take the focus away from where the user types.
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, action] { emit triggered(m_entry.id, action); });
    }
}

DownloadList::DownloadList(DownloadManager *manager, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_manager(manager)
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

    m_openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    for (const DownloadEntry &entry : manager->entries())
        add(entry.id);
    connect(manager, &DownloadManager::entryAdded, this, &DownloadList::add);
    connect(manager, &DownloadManager::entryChanged, this, &DownloadList::update);
}

void DownloadList::showWithoutFocus()
{
    if (!isVisible())
        show();
    raise();
}

void DownloadList::add(int id)
{
    if (m_rows.contains(id) || !m_manager)
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
    row->setEntry(m_manager->entry(id));
}

void DownloadList::update(int id)
{
    DownloadRow *row = m_rows.value(id);
    if (!row || !m_manager)
        return;
    const DownloadEntry entry = m_manager->entry(id);
    const DownloadEntry::State before = row->entry().state;
    row->setEntry(entry);
    if (before == entry.state)
        return;
    if (entry.state == DownloadEntry::State::Finished)
        Desktop::notify(QStringLiteral("下载完成"), entry.name, entry.path, true);
    else if (entry.state == DownloadEntry::State::Failed || entry.state == DownloadEntry::State::Interrupted)
        Desktop::notify(QStringLiteral("下载失败"), entry.name + QStringLiteral("：") + entry.reason, entry.path,
                        false);
}

void DownloadList::onAction(int id, DownloadEntry::Action action)
{
    if (!m_manager)
        return;
    const DownloadEntry entry = m_manager->entry(id);
    switch (action) {
    case DownloadEntry::Open:
        Desktop::openFile(entry.path);
        break;
    case DownloadEntry::OpenFolder:
        Desktop::showInFolder(entry.path);
        break;
    case DownloadEntry::OpenPage:
        if (m_openUrl)
            m_openUrl(entry.url);
        break;
    case DownloadEntry::OpenExisting:
        m_manager->act(id, action);
        Desktop::openFile(m_manager->entry(id).path);
        break;
    default:
        m_manager->act(id, action);
        break;
    }
}
