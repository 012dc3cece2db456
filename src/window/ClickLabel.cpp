#include "ClickLabel.h"

#include <QMouseEvent>

#include "Design.h"

ClickLabel::ClickLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAttribute(Qt::WA_TranslucentBackground);
    setWordWrap(false);
}

void ClickLabel::setCaption(const QString &caption)
{
    setText(caption);
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
