// Keyboard: a focus mark moves through the shown rows from the keyword box.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "ClickLabel.h"
#include "Form1.h"

void Form1::prepareKeyboard()
{
    // The rows take focus from these keys only, never from Tab or a click,
    // so the window looks as designed until the keyboard is used.
    for (ClickLabel *row : Label3)
        row->installEventFilter(this);
}

int Form1::shownRow(int from, int step) const
{
    for (int n = from; n >= 0 && n < RowCount; n += step) {
        if (!Picture1[n]->isHidden())
            return n;
    }
    return -1;
}

bool Form1::Form_KeyDown(QObject *watched, QKeyEvent *event)
{
    const int key = event->key();
    const auto marked = std::find(Label3.begin(), Label3.end(), watched);
    const int row = marked == Label3.end() ? -1 : static_cast<int>(marked - Label3.begin());
    if (row < 0 && watched != Text1)
        return false;

    switch (key) {
    case Qt::Key_PageDown:
    case Qt::Key_PageUp: {
        ClickLabel *paging = key == Qt::Key_PageDown ? Label2 : Label1;
        if (paging->isEnabled()) {
            // The rows go while the page loads; the box keeps the focus.
            Text1->setFocus(Qt::OtherFocusReason);
            paging->click();
        }
        return true;
    }
    case Qt::Key_Down: {
        const int next = shownRow(row + 1, 1);
        if (next >= 0)
            Label3[next]->setFocus(Qt::OtherFocusReason);
        return next >= 0 || row >= 0;
    }
    case Qt::Key_Up:
        if (row < 0)
            return false;
        if (const int previous = shownRow(row - 1, -1); previous >= 0)
            Label3[previous]->setFocus(Qt::OtherFocusReason);
        else
            Text1->setFocus(Qt::OtherFocusReason);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (row < 0)
            return false;
        Label3[row]->click();
        return true;
    case Qt::Key_Escape:
        if (row < 0)
            return false;
        Text1->setFocus(Qt::OtherFocusReason);
        return true;
    default:
        if (row < 0 || event->text().isEmpty() || !event->text().at(0).isPrint())
            return false;
        // Typing on a row goes on in the keyword box.
        Text1->setFocus(Qt::OtherFocusReason);
        QCoreApplication::sendEvent(Text1, event);
        return true;
    }
}
