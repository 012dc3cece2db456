#pragma once

#include <QAccessible>
#include <QLabel>

// A label that shows plain text only and raises a click while enabled.
// Captions come from web pages, so markup in them must never be rendered.
// A screen reader meets it through an interface of its own (accessibility.cpp),
// in place before the first label exists: with a reader listening, Qt makes a
// widget's interface as soon as its caption is set, and keeps it.
class ClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickLabel(QWidget *parent = nullptr);

    // Sets the caption; an auto-sized label takes the caption's width at once.
    void setCaption(const QString &caption);
    QString caption() const { return text(); }
    void setAutoSize(bool autoSize) { m_autoSize = autoSize; }
    // The whole caption in the tooltip too, for one that may run past the
    // window's edge; as plain text, like the caption.
    void setCaptionTip(bool captionTip) { m_captionTip = captionTip; }
    // Foreground colour as stored in the design (0x00BBGGRR or a system colour).
    void setForeColor(quint32 stored);
    quint32 foreColor() const { return m_foreColor; }

    // Raises the click as the mouse does, while enabled (keyboard, screen reader).
    void click();
    // What a screen reader calls the label: plain text, a link or a button.
    void setAccessibleRole(QAccessible::Role role) { m_role = role; }
    QAccessible::Role accessibleRole() const { return m_role; }
    // The label reads out its caption without the trailing progress dots, and
    // a screen reader hears it again only when those words change.
    void setAnnounced(bool announced);
    // Tells a screen reader to read the label again.
    void announce();

    // Tells a screen reader that the label's "showing" may have changed: it
    // is read as hidden while a sibling covers it.
    void coverChanged();

signals:
    void clicked();
    // A screen reader was told to read the label again.
    void announced();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Installs the screen readers' interface for every ClickLabel; once.
    static void describeForReaders();

    bool m_autoSize = false;
    bool m_captionTip = false;
    bool m_pressed = false;
    quint32 m_foreColor = 0;
    QAccessible::Role m_role = QAccessible::StaticText;
    bool m_announced = false;
};
