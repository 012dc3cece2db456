#include "Placement.h"

#include <optional>

#include <QList>
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

int rightOf(const QRect &r)
{
    return r.x() + r.width();
}

// The same rectangle with x and y swapped: what is beside on the one is
// above or below on the other.
QRect flipped(const QRect &r)
{
    return {r.y(), r.x(), r.height(), r.width()};
}

// Right or left of window, as wide as the room there allows down to MinRoom;
// right first, as the list reads after the window.
std::optional<QRect> sideways(const QRect &window, const QSize &list, const QRect &screen)
{
    const int height = qMin(list.height(), screen.height());
    const int y = within(window.y(), height, screen.y(), screen.y() + screen.height());
    const int right = rightOf(window) + Gap;
    const int rightRoom = rightOf(screen) - right;
    const int leftRoom = window.x() - Gap - screen.x();
    if (rightRoom >= list.width())
        return QRect(right, y, list.width(), height);
    if (leftRoom >= list.width())
        return QRect(window.x() - Gap - list.width(), y, list.width(), height);
    if (rightRoom >= MinRoom)
        return QRect(right, y, rightRoom, height);
    if (leftRoom >= MinRoom)
        return QRect(screen.x(), y, leftRoom, height);
    return std::nullopt;
}

// Over the window, in the part of the screen below, right of, left of or
// above keep that holds the most of the list, at that part's right edge.
QRect covering(const QRect &window, const QSize &list, const QRect &screen, const QRect &keep)
{
    QList<QRect> parts {screen};
    if (keep.isValid()) {
        const int keepRight = rightOf(keep) + Gap;
        const int keepBottom = keep.y() + keep.height() + Gap;
        parts = {
            {screen.x(), keepBottom, screen.width(), screen.y() + screen.height() - keepBottom},
            {keepRight, screen.y(), rightOf(screen) - keepRight, screen.height()},
            {screen.x(), screen.y(), keep.x() - Gap - screen.x(), screen.height()},
            {screen.x(), screen.y(), screen.width(), keep.y() - Gap - screen.y()},
        };
    }
    QRect best;
    qint64 most = -1;
    for (const QRect &part : std::as_const(parts)) {
        const QSize size = list.boundedTo(part.size()).expandedTo({0, 0});
        if (qint64(size.width()) * size.height() <= most)
            continue;
        most = qint64(size.width()) * size.height();
        best = QRect(
            QPoint(rightOf(part) - size.width(), within(window.y(), size.height(), part.y(), part.y() + part.height())),
            size);
    }
    // keep fills the screen: nothing to keep it from.
    if (most <= 0 && keep.isValid())
        return covering(window, list, screen, {});
    return best;
}

} // namespace

QRect beside(const QRect &window, const QSize &list, const QRect &screen, const QRect &keepVisible)
{
    if (const auto side = sideways(window, list, screen))
        return *side;
    if (const auto below = sideways(flipped(window), list.transposed(), flipped(screen)))
        return flipped(*below);
    return covering(window, list, screen, keepVisible);
}

} // namespace Placement
