#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace Placement {

// Where a window of size list (its frame) opens beside window (its frame)
// on the screen's available area: right of it where there is room, else left
// of it, else below it, level with its top (or its left) as far as the
// screen allows. Only when none fits does it cover the window, at the
// screen's right edge.
QPoint beside(const QRect &window, const QSize &list, const QRect &screen);

} // namespace Placement
