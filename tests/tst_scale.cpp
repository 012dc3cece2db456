#include <memory>

#include <QtTest>

#include "ClickLabel.h"
#include "Form1.h"
#include "ScriptedBrowser.h"

// The window on a screen at 200 %: every image comes from its @2x file.
class ScaleTest : public QObject
{
    Q_OBJECT

private slots:
    void imagesAreDrawnForTwiceTheDensity();
};

void ScaleTest::imagesAreDrawnForTwiceTheDensity()
{
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
    const ScriptedWindow window(false);
    const Form1 &form = *window.form;

    const QPixmap background = form.Picture2->pixmap();
    QCOMPARE(background.size(), QSize(1000, 700));
    QCOMPARE(background.devicePixelRatio(), 2.0);

    const QCursor hand = form.Label3[0]->cursor();
    QCOMPARE(hand.pixmap().size(), QSize(64, 64));
    QCOMPARE(hand.hotSpot(), QPoint(24, 2)); // the finger tip, in the 2x image's pixels

    QTRY_VERIFY(!form.Image1[0]->pixmap().isNull());
    QCOMPARE(form.Image1[0]->pixmap().size(), QSize(26, 26));
    QCOMPARE(form.Image1[0]->pixmap().devicePixelRatio(), 2.0);
}

int main(int argc, char *argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ScaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_scale.moc"
