// The window's bundled images, and their decoding ahead of time.
#include "Images.h"

#include <future>
#include <mutex>

#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QPixmapCache>

namespace {

// The window's larger images, decoded on another thread by preload() and
// taken out once used.
const char *const PreloadedImages[] = {":/images/background.jpg", ":/images/hand.png"};

struct Preloaded
{
    std::mutex mutex;
    QHash<QString, QImage> images;
    std::future<void> done;
};

Preloaded &preloaded()
{
    static Preloaded p;
    return p;
}

QImage takePreloaded(const QString &file)
{
    Preloaded &p = preloaded();
    if (!p.done.valid())
        return {};
    p.done.wait();
    const std::lock_guard lock(p.mutex);
    return p.images.take(file);
}

} // namespace

namespace Images {

int scale()
{
    return qGuiApp->devicePixelRatio() > 1.0 ? 2 : 1;
}

QString atScale(const QString &path, int scale)
{
    return scale == 1 ? path : QString(path).insert(path.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
}

QPixmap sharp(const QString &path)
{
    const int s = scale();
    const QString file = atScale(path, s);
    // Every row's label asks for the hand cursor's image.
    QPixmap pixmap;
    if (!QPixmapCache::find(file, &pixmap)) {
        const QImage image = takePreloaded(file);
        pixmap = image.isNull() ? QPixmap(file) : QPixmap::fromImage(image);
        QPixmapCache::insert(file, pixmap);
    }
    pixmap.setDevicePixelRatio(s);
    return pixmap;
}

QCursor hand()
{
    const QPixmap hand = sharp(QStringLiteral(":/images/hand.png"));
    // The finger tip, at (12,1) in the 1x image; Qt takes it in the image's pixels.
    const int s = qRound(hand.devicePixelRatio());
    return QCursor(hand, 12 * s, 1 * s);
}

void preload()
{
    Preloaded &p = preloaded();
    if (p.done.valid())
        return;
    const int s = scale();
    p.done = std::async(std::launch::async, [s, &p] {
        for (const char *path : PreloadedImages) {
            const QString file = atScale(QString::fromLatin1(path), s);
            QImage image(file);
            const std::lock_guard lock(p.mutex);
            p.images.insert(file, std::move(image));
        }
    });
}

} // namespace Images

QMovie *Images::downloadIcon(QSize size, QObject *parent)
{
    auto *movie = new QMovie(atScale(QStringLiteral(":/images/download.gif"), scale()), QByteArray(), parent);
    movie->setScaledSize(size * scale());
    return movie;
}

void Images::play(QMovie *movie, QLabel *label)
{
    if (scale() == 1) {
        label->setMovie(movie);
        return;
    }
    // A movie's frames carry no pixel ratio, so each is handed over as one.
    QObject::connect(movie, &QMovie::frameChanged, label, [label, movie] {
        QPixmap frame = movie->currentPixmap();
        frame.setDevicePixelRatio(scale());
        label->setPixmap(frame);
    });
}
