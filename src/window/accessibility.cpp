// Screen readers: names and roles of the controls, read through one interface
// for every clickable label.
#include <QAccessibleWidget>
#include <QLineEdit>

#include "ClickLabel.h"
#include "Form1.h"
#include "SharedState.h"

namespace {

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
        if (role() == QAccessible::Link) {
            s.linked = true;
            // The arrow keys give the rows focus, though Tab and clicks do not.
            s.focusable = true;
        }
        return s;
    }

    // QAccessibleWidget is an action interface already; clickable labels press.
    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (role() != QAccessible::StaticText)
            names.prepend(pressAction());
        return names;
    }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && role() != QAccessible::StaticText)
            label()->click();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface *clickLabelFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("ClickLabel") && object && object->isWidgetType())
        return new ClickLabelAccessible(static_cast<ClickLabel *>(object));
    return nullptr;
}

} // namespace

void Form1::describeForReaders()
{
    static const bool installed = [] {
        QAccessible::installFactory(clickLabelFactory);
        return true;
    }();
    Q_UNUSED(installed);

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
}
