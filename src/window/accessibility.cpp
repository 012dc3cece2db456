// Screen readers: names and roles of the controls, read through one interface
// for every clickable label.
#include <QAccessibleWidget>
#include <QLineEdit>

#include "ClickLabel.h"
#include "Form1.h"
#include "SharedState.h"

namespace {

// True when a visible sibling stacked above the widget, or above one of its
// containers, paints over all of it: what nobody sees is not read out either.
bool coveredFromSight(const QWidget *widget)
{
    QRect area = widget->rect();
    for (const QWidget *w = widget; w->parentWidget() && !w->isWindow(); w = w->parentWidget()) {
        area.translate(w->pos());
        const QObjectList &siblings = w->parentWidget()->children();
        for (qsizetype i = siblings.indexOf(w) + 1; i < siblings.size(); ++i) {
            const auto *above = qobject_cast<const QWidget *>(siblings[i]);
            if (above && !above->isHidden() && above->autoFillBackground() && above->geometry().contains(area))
                return true;
        }
    }
    return false;
}

// A label as a screen reader meets it: its caption (or given name), its role,
// its enabled state, and a press action where it can be clicked.
class ClickLabelAccessible : public QAccessibleWidget
{
public:
    explicit ClickLabelAccessible(ClickLabel *label)
        : QAccessibleWidget(label)
    { }

    ClickLabel *label() const { return static_cast<ClickLabel *>(widget()); }

    QAccessible::Role role() const override { return label()->accessibleRole(); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return label()->caption();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        // The search marker under the background, the progress text under row 4.
        if (coveredFromSight(widget()))
            s.invisible = true;
        if (role() == QAccessible::Link) {
            s.linked = true;
            // The arrow keys give the rows focus, though Tab and clicks do not.
            s.focusable = true;
        }
        return s;
    }

    // QAccessibleWidget is an action interface already; clickable labels
    // press, as a click does, while they take clicks.
    bool pressable() const { return role() != QAccessible::StaticText && widget()->isEnabled(); }
    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (pressable())
            names.prepend(pressAction());
        return names;
    }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && pressable())
            label()->click();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface *clickLabelFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("ClickLabel"))
        return new ClickLabelAccessible(static_cast<ClickLabel *>(object));
    // The identifiers behind the rows are a store, never shown: a list
    // view would read out its items as showing, hidden as it is.
    if (object->objectName() == QLatin1String("List1"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::List);
    return nullptr;
}

} // namespace

void ClickLabel::describeForReaders()
{
    static const bool installed = [] {
        QAccessible::installFactory(clickLabelFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void Form1::describeForReaders()
{
    Text1->setAccessibleName(QStringLiteral("搜索关键词"));
    // The search button and the logo are drawn in the background picture.
    Label4->setAccessibleRole(QAccessible::Button);
    Label4->setAccessibleName(QStringLiteral("搜索"));
    Label7->setAccessibleRole(QAccessible::Link);
    Label7->setAccessibleName(QStringLiteral("Ondrix 首页"));
    Label7->setAccessibleDescription(shared().HomePageAddress);
    // Rows read out their caption, "title(size)", whatever it is at the time.
    for (ClickLabel *row : Label3)
        row->setAccessibleRole(QAccessible::Link);
    Label1->setAccessibleRole(QAccessible::Link);
    Label2->setAccessibleRole(QAccessible::Link);
    Label8->setAccessibleRole(QAccessible::StaticText);
    Label8->setAnnounced(true);
    for (QWidget *row : Picture1)
        row->installEventFilter(this);
}
