#pragma once

#include <QRect>
#include <QSize>

namespace Placement {

// Where a window of size list (its frame) opens beside window (its frame) on
// the screen's available area, and how large: right of it where there is
// room, else left of it, else narrowed to the room right of it, or left of
// it, where that has MinRoom; else below it, else above it, shortened alike;
// level with its top (or its left) as far as the screen allows. Only when
// none has that room does it cover the window, and then never keepVisible
// (the window's title bar and what the user types in), where that is given.
QRect beside(const QRect &window, const QSize &list, const QRect &screen, const QRect &keepVisible = {});

// The least room on a side that the list narrows to, rather than cover the window.
constexpr int MinRoom = 360;

} // namespace Placement
