#include "ClickLabel.h"

#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTextDocument>

#include "Design.h"

ClickLabel::ClickLabel(QWidget *parent)
    : QLabel(parent)
{
    describeForReaders();
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAttribute(Qt::WA_TranslucentBackground);
    setWordWrap(false);
}

void ClickLabel::setCaption(const QString &caption)
{
    if (m_announced) {
        // Set before the text, so the label raises no change of its own.
        QString words = caption;
        while (words.endsWith(QLatin1Char('.')))
            words.chop(1);
        if (words != accessibleName()) {
            setAccessibleName(words); // raises the change itself
            emit announced();
        }
    }
    setText(caption);
    // A tooltip is rich text when its first line looks like markup: escaped
    // then, so that it shows as written.
    if (m_captionTip)
        setToolTip(Qt::mightBeRichText(caption) ? Qt::convertFromPlainText(caption) : caption);
    if (m_autoSize)
        resize(Design::px(Design::autoWidth(caption, fontMetrics())), height());
}

void ClickLabel::setForeColor(quint32 stored)
{
    m_foreColor = stored;
    QPalette p = palette();
    const QColor c = Design::color(stored);
    p.setColor(QPalette::Active, QPalette::WindowText, c);
    p.setColor(QPalette::Inactive, QPalette::WindowText, c);
    // A disabled caption is drawn greyed, whatever its own colour.
    p.setColor(QPalette::Disabled, QPalette::WindowText, Design::color(0x80000011));
    setPalette(p);
}

void ClickLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click && isEnabled())
        emit clicked();
}

void ClickLabel::click()
{
    if (isEnabled())
        emit clicked();
}

void ClickLabel::setAnnounced(bool announced)
{
    m_announced = announced;
    setCaption(caption());
}

void ClickLabel::announce()
{
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
    emit announced();
}

void ClickLabel::coverChanged()
{
    QAccessible::State changed;
    changed.invisible = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void ClickLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    // Only the keyboard gives a label focus, so the mark never shows otherwise.
    if (!hasFocus())
        return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.state |= QStyle::State_KeyboardFocusChange;
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}
