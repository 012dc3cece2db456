#include "DownloadList.h"

#include <algorithm>

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include "Desktop.h"
#include "DownloadFolder.h"
#include "DownloadRow.h"
#include "Downloads.h"
#include "Placement.h"

namespace {

// News the user should see even when scrolled elsewhere.
bool isFailure(DownloadEntry::State state)
{
    using S = DownloadEntry::State;
    return state == S::Failed || state == S::Interrupted || state == S::NothingCame;
}

QString askForFolder(QWidget *parent, const QString &current)
{
    // The dialog keeps its history in QtProject.conf, shared by every Qt
    // program; pointed at a scratch folder meanwhile, so that the program's
    // own settings stay the only file it writes.
    const QString userPath = QFileInfo(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName()).path();
    QTemporaryDir scratch;
    if (scratch.isValid())
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.path());
    const QString chosen = QFileDialog::getExistingDirectory(parent, QStringLiteral("选择下载文件夹"), current);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, userPath);
    return chosen;
}

} // namespace

DownloadList::DownloadList(Downloads &downloads, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_downloads(&downloads)
    , m_chooseFolder(askForFolder)
{
    setObjectName(QStringLiteral("DownloadList"));
    setWindowTitle(QStringLiteral("下载"));
    setWindowIcon(QIcon(QStringLiteral(":/images/icon.png")));
    resize(460, 380);
    setAttribute(Qt::WA_ShowWithoutActivating);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeRows(), 1);
    layout->addLayout(makeBar());

    for (const DownloadEntry &entry : downloads.entries())
        add(entry.id);
    showFolder();
    restripe();
    enableClear();
    connect(&downloads, &Downloads::entryAdded, this, [this](int id) {
        add(id);
        restripe();
        enableClear();
        showWithoutFocus();
        reveal(row(id));
    });
    connect(&downloads, &Downloads::entryChanged, this, &DownloadList::update);
    connect(&downloads, &Downloads::entriesRemoved, this, &DownloadList::remove);
    connect(&downloads, &Downloads::attentionWanted, this, &DownloadList::showWithoutFocus);
}

QScrollArea *DownloadList::makeRows()
{
    auto *content = new QWidget;
    m_rowsLayout = new QVBoxLayout(content);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    m_rowsLayout->addStretch();
    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    // Rows are as wide as the list: it scrolls up and down, never sideways.
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(content);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    return m_scroll;
}

// The folder new downloads go to, shortened in the middle where the window
// is too narrow, with 更改… and 清除已完成.
QHBoxLayout *DownloadList::makeBar()
{
    m_folder = new QLabel(this);
    m_folder->setObjectName(QStringLiteral("folder"));
    m_folder->setTextFormat(Qt::PlainText);
    m_folder->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_folder->installEventFilter(this);
    m_change = new QPushButton(QStringLiteral("更改…"), this);
    m_change->setObjectName(QStringLiteral("changeFolder"));
    connect(m_change, &QPushButton::clicked, this, &DownloadList::chooseFolder);
    m_clear = new QPushButton(QStringLiteral("清除已完成"), this);
    m_clear->setObjectName(QStringLiteral("clearEnded"));
    m_clear->setToolTip(QStringLiteral("从列表中去掉已完成、失败和已取消的下载（文件不动）"));
    connect(m_clear, &QPushButton::clicked, this, [this] {
        if (m_downloads)
            m_downloads->clearEnded();
    });
    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(8, 4, 8, 6);
    auto *saveTo = new QLabel(QStringLiteral("保存到："), this);
    saveTo->setTextFormat(Qt::PlainText);
    bar->addWidget(saveTo);
    bar->addWidget(m_folder, 1);
    bar->addWidget(m_change);
    bar->addWidget(m_clear);
    return bar;
}

void DownloadList::showWithoutFocus()
{
    if (!isVisible()) {
        placeBesideAnchor();
        show();
    }
    raise();
}

void DownloadList::activate()
{
    showWithoutFocus();
    activateWindow();
}

void DownloadList::setAnchor(QWidget *window, const QList<QWidget *> &keepVisible)
{
    m_anchor = window;
    m_keepVisible.clear();
    for (QWidget *widget : keepVisible)
        m_keepVisible << widget;
}

void DownloadList::placeBesideAnchor()
{
    // On Wayland the compositor alone places windows.
    if (m_movedByUser || !m_anchor || !m_anchor->isVisible()
        || QGuiApplication::platformName() == QLatin1String("wayland"))
        return;
    if (!m_placed)
        m_wanted = size();
    // The list's frame is not known before it is first shown: taken to be
    // the main window's.
    const QRect anchor = m_anchor->frameGeometry();
    const QSize frame = anchor.size() - m_anchor->size();
    const QRect placed
        = Placement::beside(anchor, m_wanted + frame, m_anchor->screen()->availableGeometry(), keptVisible());
    m_placedAt = placed.topLeft();
    m_placedSize = placed.size() - frame;
    m_placed = true;
    resize(m_placedSize);
    move(m_placedAt);
}

// On the screen: the main window's title bar (its close button) and the
// widgets it asked to keep in sight.
QRect DownloadList::keptVisible() const
{
    const QRect frame = m_anchor->frameGeometry();
    QRect keep;
    if (const int titleBar = m_anchor->geometry().y() - frame.y(); titleBar > 0)
        keep = QRect(frame.topLeft(), QSize(frame.width(), titleBar));
    for (const QPointer<QWidget> &widget : m_keepVisible) {
        if (widget)
            keep |= QRect(widget->mapToGlobal(QPoint()), widget->size());
    }
    return keep;
}

void DownloadList::hideEvent(QHideEvent *event)
{
    // Anywhere else than where it opened, the user put it there; another
    // size is the one they want.
    if (m_placed && pos() != m_placedAt)
        m_movedByUser = true;
    if (m_placed && size() != m_placedSize)
        m_wanted = size();
    QWidget::hideEvent(event);
}

void DownloadList::keyPressEvent(QKeyEvent *event)
{
    // Space presses a button by itself; Enter does only in a dialog.
    auto *button = qobject_cast<QPushButton *>(focusWidget());
    if (event->key() == Qt::Key_Escape)
        close();
    else if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && button && button->isEnabled())
        button->click();
    else
        QWidget::keyPressEvent(event);
}

bool DownloadList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_folder && event->type() == QEvent::Resize)
        showFolder();
    return QWidget::eventFilter(watched, event);
}

void DownloadList::add(int id)
{
    if (m_rows.contains(id) || !m_downloads)
        return;
    auto *row = new DownloadRow;
    m_rows.insert(id, row);
    row->setAutoFillBackground(true);
    m_rowsLayout->insertWidget(0, row); // newest first
    row->show();                        // now, not later, so that it is laid out when revealed
    connect(row, &DownloadRow::triggered, this, &DownloadList::onAction);
    connect(row, &DownloadRow::buttonsReplaced, this, &DownloadList::orderTabs);
    row->setEntry(m_downloads->entry(id));
}

void DownloadList::update(int id)
{
    DownloadRow *row = m_rows.value(id);
    if (!row || !m_downloads)
        return;
    const DownloadEntry::State was = row->entry().state;
    row->setEntry(m_downloads->entry(id));
    if (isFailure(row->entry().state) && !isFailure(was))
        reveal(row);
    enableClear();
}

void DownloadList::remove(const QList<int> &ids)
{
    // The keyboard's place moves on to the entry below the one that went,
    // else the one above; from 清除已完成, to the newest entry left; and
    // to 更改… when none is left.
    const QList<DownloadRow *> before = rowsInOrder();
    QWidget *focused = focusWidget();
    qsizetype from = -1;
    for (qsizetype i = 0; i < before.size() && focused; ++i) {
        if (before[i]->isAncestorOf(focused) && ids.contains(before[i]->entry().id))
            from = i;
    }
    for (const int id : ids)
        delete m_rows.take(id);
    restripe();
    enableClear();
    if (from < 0 && !(focused == m_clear && !m_clear->isEnabled()))
        return;
    const QList<DownloadRow *> left = rowsInOrder();
    QList<DownloadRow *> candidates;
    for (qsizetype i = from + 1; i < before.size(); ++i)
        candidates << before[i];
    for (qsizetype i = from - 1; i >= 0; --i)
        candidates << before[i];
    for (DownloadRow *row : std::as_const(candidates)) {
        if (left.contains(row) && !row->buttons().isEmpty()) {
            row->buttons().constFirst()->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    m_change->setFocus(Qt::OtherFocusReason);
}

// Newest first, as they stand.
QList<DownloadRow *> DownloadList::rowsInOrder() const
{
    QList<DownloadRow *> rows;
    for (int i = 0; i < m_rowsLayout->count(); ++i) {
        if (auto *row = qobject_cast<DownloadRow *>(m_rowsLayout->itemAt(i)->widget()))
            rows << row;
    }
    return rows;
}

// Tab goes through the entries as they read, top to bottom and left to
// right, then the bar's buttons: new rows stand on top, and a state's new
// buttons would otherwise come last.
void DownloadList::orderTabs()
{
    QList<QWidget *> order;
    for (const DownloadRow *row : rowsInOrder()) {
        for (QPushButton *button : row->buttons())
            order << button;
    }
    order << m_change << m_clear;
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void DownloadList::reveal(DownloadRow *row)
{
    if (!row || !isVisible())
        return;
    // Laid out first, so that the row has its place and the scroll bar its range.
    m_rowsLayout->activate();
    m_scroll->ensureWidgetVisible(row, 0, 0);
}

void DownloadList::restripe()
{
    // Rows alternate their background a little, like a list view.
    for (int i = 0; i < m_rowsLayout->count(); ++i) {
        auto *row = qobject_cast<DownloadRow *>(m_rowsLayout->itemAt(i)->widget());
        if (!row)
            continue;
        QPalette p = row->palette();
        p.setColor(QPalette::Window, i % 2 ? p.color(QPalette::AlternateBase) : p.color(QPalette::Base));
        row->setPalette(p);
    }
}

void DownloadList::enableClear()
{
    m_clear->setEnabled(
        std::any_of(m_rows.cbegin(), m_rows.cend(), [](const DownloadRow *row) { return row->entry().hasEnded(); }));
}

void DownloadList::showFolder()
{
    if (!m_downloads)
        return;
    const QString folder = QDir::toNativeSeparators(m_downloads->folderPath());
    m_folder->setToolTip(folder);
    m_folder->setText(m_folder->fontMetrics().elidedText(folder, Qt::ElideMiddle, qMax(0, m_folder->width())));
}

void DownloadList::chooseFolder()
{
    if (!m_downloads || !m_chooseFolder)
        return;
    const QString current = m_downloads->folderPath();
    const QString chosen = m_chooseFolder(this, current);
    if (chosen.isEmpty())
        return;
    if (!DownloadFolder::isWritable(chosen)) {
        QMessageBox::warning(this, QStringLiteral("下载"),
                             QStringLiteral("无法写入该文件夹：%1\n下载仍保存到：%2")
                                 .arg(QDir::toNativeSeparators(chosen), QDir::toNativeSeparators(current)));
        return;
    }
    // New downloads go there; those admitted keep their folder.
    m_downloads->setFolderPath(chosen);
    DownloadFolder::remember(chosen);
    showFolder();
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
