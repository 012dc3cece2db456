#pragma once

#include <QCursor>
#include <QPixmap>
#include <QString>

// The window's bundled images, drawn from their "@2x" files on screens
// denser than one pixel a point instead of being enlarged.
namespace Images {

// 1, or 2 on a dense screen.
int scale();
// The file of a bundled image at a scale: ":/images/x.png" or ":/images/x@2x.png".
QString atScale(const QString &path, int scale);
// A bundled image at the screen's scale, with its pixel ratio set.
QPixmap sharp(const QString &path);
// The hand pointer of the clickable labels.
QCursor hand();

// Starts decoding the larger images on another thread, so that building the
// window finds them ready. Once, after the application object exists and
// before the first window is built.
void preload();

} // namespace Images
