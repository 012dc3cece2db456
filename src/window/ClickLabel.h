#pragma once

#include <QLabel>

// A label that shows plain text only and raises a click while enabled.
// Captions come from web pages, so markup in them must never be rendered.
class ClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickLabel(QWidget *parent = nullptr);

    // Sets the caption; an auto-sized label takes the caption's width at once.
    void setCaption(const QString &caption);
    QString caption() const { return text(); }
    void setAutoSize(bool autoSize) { m_autoSize = autoSize; }
    // Foreground colour as stored in the design (0x00BBGGRR or a system colour).
    void setForeColor(quint32 stored);
    quint32 foreColor() const { return m_foreColor; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_autoSize = false;
    bool m_pressed = false;
    quint32 m_foreColor = 0;
};
