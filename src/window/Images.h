#pragma once

#include <QCursor>
#include <QPixmap>
#include <QString>

class QLabel;
class QMovie;
class QObject;

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
// The animated download icon at the screen's scale, sized for labels of
// size (in points); owned by parent.
QMovie *downloadIcon(QSize size, QObject *parent);
// Shows movie in label, its frames sharp on a dense screen.
void play(QMovie *movie, QLabel *label);

// Starts decoding the larger images on another thread, so that building the
// window finds them ready. Once, after the application object exists and
// before the first window is built.
void preload();

} // namespace Images
