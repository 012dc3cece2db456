#include "DownloadRow.h"

#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

// The order the buttons stand in, left to right.
constexpr DownloadEntry::Action ButtonOrder[] = {
    DownloadEntry::Pause,      DownloadEntry::Resume,       DownloadEntry::Retry,          DownloadEntry::Open,
    DownloadEntry::OpenFolder, DownloadEntry::OpenExisting, DownloadEntry::DownloadAnyway, DownloadEntry::OpenPage,
    DownloadEntry::Cancel,     DownloadEntry::Delete,
};

// A tooltip is rich text when its first line looks like markup: the site's
// text is escaped then, so that it shows as written.
QString plainTip(const QString &text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text) : text;
}

} // namespace

DownloadRow::DownloadRow(QWidget *parent)
    : QWidget(parent)
{
    // Names, sizes and states come from sites and servers: never markup.
    m_name = new QLabel(this);
    m_name->setTextFormat(Qt::PlainText);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // As wide as the list gives it, never wider: a long name is shortened
    // in the middle (the extension stays), whole in its tooltip and for a
    // screen reader.
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_name->installEventFilter(this);
    QFont bold = m_name->font();
    bold.setBold(true);
    m_name->setFont(bold);
    m_size = new QLabel(this);
    m_size->setTextFormat(Qt::PlainText);
    m_bar = new QProgressBar(this);
    m_bar->setTextVisible(false);
    m_bar->setMaximumHeight(12);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
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
    showName();
    m_name->setAccessibleName(entry.name);
    m_name->setToolTip(plainTip(
        entry.path.isEmpty() ? entry.name : entry.name + QLatin1Char('\n') + QDir::toNativeSeparators(entry.path)));
    m_size->setText(entry.sizeText());
    const int permille = entry.permille();
    // Ended short of finishing: no progress left to show.
    m_bar->setVisible(entry.state == DownloadEntry::State::Finished || !entry.hasEnded());
    // A running download of unknown size shows a busy bar.
    m_bar->setRange(0, permille < 0 && entry.state == DownloadEntry::State::Running ? 0 : 1000);
    m_bar->setValue(qMax(0, permille));
    m_status->setText(entry.statusText());
    showButtons(entry.actions());
}

void DownloadRow::showName()
{
    m_name->setText(m_name->fontMetrics().elidedText(m_entry.name, Qt::ElideMiddle, qMax(0, m_name->width())));
}

bool DownloadRow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_name && event->type() == QEvent::Resize)
        showName();
    return QWidget::eventFilter(watched, event);
}

QList<QPushButton *> DownloadRow::buttons() const
{
    QList<QPushButton *> shown;
    const QLayout *layout = m_buttons->layout();
    for (int i = 1; i < layout->count(); ++i)
        shown << static_cast<QPushButton *>(layout->itemAt(i)->widget());
    return shown;
}

void DownloadRow::showButtons(DownloadEntry::Actions actions)
{
    if (actions == m_shownActions)
        return;
    m_shownActions = actions;
    // The keyboard's place stays where it was: on the button that now
    // stands there, or the last one.
    const auto old = buttons();
    const qsizetype focused = old.indexOf(qobject_cast<QPushButton *>(window()->focusWidget()));
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
        layout->addWidget(button);
        button->show(); // now, not later, so that it can take the focus
        connect(button, &QPushButton::clicked, this, [this, action] { emit triggered(m_entry.id, action); });
    }
    emit buttonsReplaced();
    const auto now = buttons();
    if (focused >= 0 && !now.isEmpty())
        now.at(qMin(focused, now.size() - 1))->setFocus(Qt::OtherFocusReason);
}
