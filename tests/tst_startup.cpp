#include <QtTest>

#include "Form1.h"
#include "Module1.h"
#include "ScriptedBrowser.h"

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void mainFillsStateBeforeTheWindowLoads()
    {
        bool visibleAtAdvert = true;
        QString advert;
        Form1 *form = nullptr;
        const auto factory = [&](const QString &name, QObject *parent) {
            auto *b = new ScriptedBrowser(parent);
            if (name == QLatin1String("W3")) {
                b->onNavigate = [&, parent](const QString &address) {
                    advert = address;
                    visibleAtAdvert = static_cast<QWidget *>(parent)->isVisible();
                };
            }
            return b;
        };
        Form1Services services = Form1Services::desktop();
        services.quit = [] {};
        form = Module1::Main(factory, services);
        // Asked for before the window is shown.
        QCOMPARE(advert, QStringLiteral(ONDRIX_TEST_HOME_PAGE "/ad/365.htm"));
        QVERIFY(!visibleAtAdvert);
        QVERIFY(form->isVisible());
        // Centred on the screen.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY2(qAbs(form->geometry().center().x() - screen.center().x())
                     <= 4, // the frame is not known before it shows
                 qPrintable(QStringLiteral("%1 in %2").arg(form->geometry().center().x()).arg(screen.center().x())));
        delete form;
    }

    void stockButtonsSpeakChinese()
    {
        QVERIFY(Module1::loadTranslations());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("确定"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("是(&Y)"));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
