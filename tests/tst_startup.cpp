#include <QMessageBox>
#include <QtTest>

#include "FakeDownloads.h"
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
        Form1 *form = Module1::Main(factory, services);
        // Asked for before the window is shown.
        QCOMPARE(advert, QStringLiteral(ONDRIX_TEST_HOME_PAGE "/ad/365.htm"));
        QVERIFY(!visibleAtAdvert);
        QVERIFY(form->isVisible());
        // Centred on the screen (the frame is not known before it shows).
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE_LE(qAbs(form->geometry().center().x() - screen.center().x()), 4);
        delete form;
    }

    // The quit question follows the downloads while it is open: it sums what
    // is unfinished now, in the list's units (a size never told leaves the
    // whole unknown), apart from what waits only for the user's choice, and
    // once nothing is, it asks no more.
    void quitQuestionFollowsTheDownloads()
    {
        using State = DownloadEntry::State;
        FakeDownloads downloads;
        downloads.add(FakeDownloads::entry(State::Finished, 1 << 30, 1 << 30));
        const int running = downloads.add(FakeDownloads::entry(State::Running, 512 << 10, 2 << 20));
        const int interrupted = downloads.add(FakeDownloads::entry(State::Interrupted, 1 << 20, 6 << 20));
        const int paused = downloads.add(FakeDownloads::entry(State::Paused));
        const int there = downloads.add(FakeDownloads::entry(State::AlreadyThere, 120 << 10, 120 << 10));
        const auto finish = [](DownloadEntry &e) { e.state = State::Finished; };
        QStringList said;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            said << box->text();
            downloads.change(paused, finish);
            said << box->text();
            for (const int id : {running, interrupted})
                downloads.change(id, finish);
            said << box->text();
            downloads.change(there, finish);
            if (QApplication::activeModalWidget() == box)
                box->reject(); // still asking: 不退出
        });
        QVERIFY(Module1::confirmQuit(downloads, nullptr));
        QCOMPARE(said,
                 (QStringList {
                     QStringLiteral("有 3 个下载尚未完成（已下载 1.5 MB），1 个下载等待选择（文件夹里已有此文件）。"),
                     QStringLiteral(
                         "有 2 个下载尚未完成（已下载 1.5 MB，共 8 MB），1 个下载等待选择（文件夹里已有此文件）。"),
                     QStringLiteral("有 1 个下载等待选择（文件夹里已有此文件）。")}));
    }

    void stockButtonsSpeakChinese()
    {
        QVERIFY(Module1::loadTranslations());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
