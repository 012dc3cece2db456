#include "Placement.h"

#include <QtGlobal>

namespace Placement {

namespace {

// Between the two frames, so that they read as two windows.
constexpr int Gap = 8;

// start, moved back as far as needed for length to end within [low, high),
// but never before low.
int within(int start, int length, int low, int high)
{
    return qMax(low, qMin(start, high - length));
}

} // namespace

QPoint beside(const QRect &window, const QSize &list, const QRect &screen)
{
    const int screenRight = screen.x() + screen.width();
    const int screenBottom = screen.y() + screen.height();
    const int y = within(window.y(), list.height(), screen.y(), screenBottom);
    const int right = window.x() + window.width() + Gap;
    if (right + list.width() <= screenRight)
        return {right, y};
    const int left = window.x() - Gap - list.width();
    if (left >= screen.x())
        return {left, y};
    const int below = window.y() + window.height() + Gap;
    if (below + list.height() <= screenBottom)
        return {within(window.x(), list.width(), screen.x(), screenRight), below};
    return {qMax(screen.x(), screenRight - list.width()), y};
}

} // namespace Placement
