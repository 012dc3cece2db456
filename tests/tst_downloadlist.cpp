// The download list window against downloads the test writes: the buttons
// each entry offers and where they lead, the order of its rows and what it
// scrolls to, its folder, where it opens, and how it shows itself.
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "DesktopWatch.h"
#include "DownloadFolder.h"
#include "DownloadList.h"
#include "DownloadNotices.h"
#include "DownloadRow.h"
#include "FakeDownloads.h"
#include "Placement.h"

using State = DownloadEntry::State;

class DownloadListTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The program's settings file, here in a folder of the test's own.
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QCoreApplication::setOrganizationName(QStringLiteral("Ondrix"));
    }

    void buttons_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QStringList>("buttons"); // left to right
        QTest::addColumn<QString>("pressed");
        QTest::addColumn<int>("acted"); // what reaches the downloads, NoAction: nothing
        QTest::addColumn<QString>("opened");
        using A = DownloadEntry;
        // clang-format off
        QTest::newRow("running") << int(State::Running) << QStringList {"暂停", "取消"} << "取消" << int(A::Cancel) << "";
        QTest::newRow("finished") << int(State::Finished) << QStringList {"打开", "打开所在文件夹"} << "打开"
                                  << int(A::NoAction) << "file:///dl/a.zip";
        // The existing file is opened once the downloads have given up the copy.
        QTest::newRow("already there") << int(State::AlreadyThere) << QStringList {"打开已有文件", "仍然下载", "取消"}
                                       << "打开已有文件" << int(A::OpenExisting) << "file:///dl/old.zip";
        QTest::newRow("nothing came") << int(State::NothingCame) << QStringList {"在浏览器中打开"} << "在浏览器中打开"
                                      << int(A::NoAction) << "http://site.test/f/x.html";
        // clang-format on
    }

    void buttons()
    {
        QFETCH(int, state);
        QFETCH(QStringList, buttons);
        QFETCH(QString, pressed);
        QFETCH(int, acted);
        QFETCH(QString, opened);
        DesktopWatch desktop;
        FakeDownloads downloads;
        DownloadEntry e;
        e.state = State(state);
        e.path = QStringLiteral("/dl/a.zip");
        e.url = QUrl(QStringLiteral("http://site.test/f/x.html"));
        const int id = downloads.add(e);
        downloads.onAct = [&](int, DownloadEntry::Action) {
            downloads.change(id, [](DownloadEntry &changed) { changed.path = QStringLiteral("/dl/old.zip"); });
        };
        DownloadList list(downloads);
        QStringList shown;
        QPushButton *press = nullptr;
        for (QPushButton *button : list.row(id)->findChildren<QPushButton *>()) {
            shown << button->text();
            if (button->text() == pressed)
                press = button;
        }
        QCOMPARE(shown, buttons);
        QVERIFY(press);
        press->click();
        QList<QPair<int, DownloadEntry::Action>> expected;
        if (acted)
            expected << qMakePair(id, DownloadEntry::Action(acted));
        QCOMPARE(downloads.acted, expected);
        QCOMPARE(desktop.opened, opened.isEmpty() ? QList<QUrl> {} : QList<QUrl> {QUrl(opened)});
    }

    // Twelve running entries, scrolled to start (a fraction of the way
    // down); then a new entry comes, or the oldest, at the bottom, moves on
    // to a state. News is scrolled into view; anything else leaves the
    // user's place alone.
    void newestFirst_data()
    {
        QTest::addColumn<double>("scrolled");
        QTest::addColumn<bool>("added");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("revealed");
        QTest::newRow("new entry") << 1.0 << true << int(State::Running) << true;
        QTest::newRow("未能开始下载") << 1.0 << true << int(State::NothingCame) << true;
        QTest::newRow("failed") << 0.0 << false << int(State::Failed) << true;
        QTest::newRow("interrupted") << 0.5 << false << int(State::Interrupted) << true;
        QTest::newRow("progress") << 0.5 << false << int(State::Running) << false;
        QTest::newRow("finished") << 0.5 << false << int(State::Finished) << false;
    }
    void newestFirst()
    {
        QFETCH(double, scrolled);
        QFETCH(bool, added);
        QFETCH(int, state);
        QFETCH(bool, revealed);
        FakeDownloads downloads;
        for (int i = 0; i < 11; ++i)
            downloads.add(entry(State::Running));
        DownloadList list(downloads);
        downloads.add(entry(State::Running)); // shows the list
        list.resize(460, 300);
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        for (int id = 1; id < 12; ++id)
            QVERIFY2(list.row(id + 1)->y() < list.row(id)->y(), "newest first");
        auto *scroll = list.findChild<QScrollArea *>();
        QScrollBar *bar = scroll->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(int(bar->maximum() * scrolled));
        const int before = bar->value();
        int id = 1;
        if (added)
            id = downloads.add(entry(State(state)));
        else
            downloads.change(id, [state](DownloadEntry &e) {
                e.state = State(state);
                e.received += 1000;
            });
        const QRect shown(list.row(id)->mapTo(scroll->viewport(), QPoint()), list.row(id)->size());
        if (revealed)
            QVERIFY2(scroll->viewport()->rect().contains(shown), qPrintable(QString::number(shown.y())));
        else
            QCOMPARE(bar->value(), before);
    }

    // The folder shown, and what comes of the user's choice.
    void folder_data()
    {
        QTest::addColumn<QString>("chosen"); // in a temporary folder holding a regular file "plain"
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("told"); // the message box, "%1" for the chosen folder
        QTest::newRow("writable") << "下载" << true << "";
        QTest::newRow("under a regular file") << "plain/下载" << false << "无法写入该文件夹：%1\n下载仍保存到：/dl";
        QTest::newRow("cancelled") << "" << false << "";
    }
    void folder()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, taken);
        QFETCH(QString, told);
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("下载")));
        if (!chosen.isEmpty())
            chosen = dir.filePath(chosen);
        QSettings().remove(QStringLiteral("downloads/folder"));
        FakeDownloads downloads;
        DownloadList list(downloads);
        QString asked;
        list.setFolderChooser([&](QWidget *, const QString &current) {
            asked = current;
            return chosen;
        });
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        auto *label = list.findChild<QLabel *>(QStringLiteral("folder"));
        QCOMPARE(label->text(), QStringLiteral("/dl"));
        QString shownBox;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&shownBox] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shownBox = box->text();
                box->accept();
            }
        });
        closer.start(10);
        list.findChild<QPushButton *>(QStringLiteral("changeFolder"))->click();
        QCOMPARE(asked, QStringLiteral("/dl"));
        QCOMPARE(shownBox, told.isEmpty() ? told : told.arg(chosen));
        const QString now = taken ? chosen : QStringLiteral("/dl");
        QCOMPARE(downloads.folderPath(), now);
        QCOMPARE(label->toolTip(), now);
        QCOMPARE(DownloadFolder::remembered(), taken ? chosen : QString());
    }

    void folderDialogKeepsItsHistoryOut()
    {
        // Qt's own folder dialog, cancelled: its history (QtProject.conf)
        // does not land beside the program's settings.
        FakeDownloads downloads;
        DownloadList list(downloads);
        // Tried until the dialog is up, however long it takes to come.
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [] {
            if (QWidget *dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        closer.start(50);
        list.findChild<QPushButton *>(QStringLiteral("changeFolder"))->click();
        QCOMPARE(downloads.folderPath(), QStringLiteral("/dl"));
        QCOMPARE(QDir(m_settings.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList {});
        QCOMPARE(QFileInfo(QSettings().fileName()).absolutePath(), m_settings.path() + QStringLiteral("/Ondrix"));
    }

    // A long name (75 Chinese characters, as the program cuts them to fit
    // the file system) neither widens the list nor scrolls it sideways: the
    // name is shortened in the middle, the extension kept, and whole in the
    // tooltip and for a screen reader.
    void longNameStaysInTheList()
    {
        FakeDownloads downloads;
        DownloadList list(downloads);
        list.resize(460, 380);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const QString name = QString(75, QChar(0x8D44)) + QStringLiteral(".zip");
        DownloadEntry running = entry(State::Running, 1 << 20, 8 << 20);
        running.name = name;
        const int id = downloads.add(running);
        DownloadEntry failed = entry(State::Failed, 0, -1);
        failed.name = name;
        failed.reason = QStringLiteral("无法写入下载文件夹：") + QString(40, QChar(0x6587));
        downloads.add(failed);
        downloads.add(entry(State::Finished, 1 << 20, 1 << 20));
        auto *scroll = list.findChild<QScrollArea *>();
        // Laid out as shown, the newest entry brought into view.
        QTRY_VERIFY(scroll->widget()->width() > 0);
        QCoreApplication::processEvents();
        for (const DownloadRow *row : list.findChildren<DownloadRow *>())
            QVERIFY2(row->width() <= scroll->viewport()->width(), qPrintable(QString::number(row->width())));
        QCOMPARE(scroll->horizontalScrollBar()->value(), 0);
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        const auto *shown = list.row(id)->findChildren<QLabel *>().first();
        QVERIFY(shown->text() != name && shown->text().endsWith(QLatin1String(".zip")));
        QCOMPARE(shown->accessibleName(), name);
        QVERIFY(shown->toolTip().startsWith(name));
    }

    void clearEnded()
    {
        // Only what has ended goes, and only from the list.
        FakeDownloads downloads;
        DownloadList list(downloads);
        DownloadNotices notices(downloads);
        auto *clear = list.findChild<QPushButton *>(QStringLiteral("clearEnded"));
        const QList<State> states
            = {State::Running,     State::Finished,     State::Failed, State::Cancelled, State::NothingCame,
               State::Interrupted, State::AlreadyThere, State::Paused, State::Waiting};
        for (const State state : states)
            downloads.add(entry(state));
        QVERIFY(clear->isEnabled());
        clear->click();
        QList<State> kept;
        for (const DownloadEntry &e : downloads.all) {
            QVERIFY(list.row(e.id));
            kept << e.state;
        }
        QCOMPARE(kept, (QList<State> {State::Running, State::Interrupted, State::AlreadyThere, State::Paused,
                                      State::Waiting}));
        QCOMPARE(list.findChildren<DownloadRow *>().size(), kept.size());
        QVERIFY(!clear->isEnabled());
        downloads.change(1, [](DownloadEntry &e) { e.state = State::Finished; });
        QVERIFY(clear->isEnabled());
    }

    // Frames in screen coordinates: the main window, the list, the screen's
    // available area.
    void placement_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QSize>("list");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("at");
        const QRect screen(0, 0, 1280, 800);
        const QSize list(300, 200);
        // clang-format off
        QTest::newRow("right") << QRect(100, 100, 400, 300) << list << screen << QPoint(508, 100);
        QTest::newRow("left") << QRect(800, 100, 400, 300) << list << screen << QPoint(492, 100);
        QTest::newRow("below") << QRect(300, 100, 700, 300) << list << screen << QPoint(300, 408);
        QTest::newRow("below, kept on the screen") << QRect(-100, 100, 1300, 300) << list << screen << QPoint(0, 408);
        QTest::newRow("right, raised to fit") << QRect(100, 500, 400, 200) << QSize(300, 400) << screen << QPoint(508, 400);
        QTest::newRow("left on a second screen") << QRect(1800, 100, 1000, 600) << QSize(460, 380)
                                                 << QRect(1280, 24, 1920, 1056) << QPoint(1332, 100);
        QTest::newRow("no room: covers at the edge") << screen << list << screen << QPoint(980, 0);
        // clang-format on
    }
    void placement()
    {
        QFETCH(QRect, window);
        QFETCH(QSize, list);
        QFETCH(QRect, screen);
        QFETCH(QPoint, at);
        QCOMPARE(Placement::beside(window, list, screen), at);
    }

    void showsItselfQuietlyBesideItsWindow()
    {
        // Shown beside the main window, without the focus, when an entry
        // comes or the user asks again for one under way; where the user put
        // it once moved. A finished download asks for a notification; without
        // a notification server (none runs here) nothing is logged.
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &text) {
                // The offscreen platform's own notes are not ours.
                if (type != QtDebugMsg && type != QtInfoMsg && !text.startsWith(QLatin1String("This plugin does not")))
                    warnings << text;
            });
        QLineEdit window; // the main window, the user typing in it
        window.setGeometry(20, 20, 300, 200);
        window.show();
        window.activateWindow();
        window.setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        FakeDownloads downloads;
        DownloadList list(downloads);
        DownloadNotices notices(downloads);
        list.setAnchor(&window);
        auto beside = [&] {
            return Placement::beside(window.frameGeometry(), list.frameGeometry().size(),
                                     window.screen()->availableGeometry());
        };
        QVERIFY(!list.isVisible());
        const int id = downloads.add({});
        QVERIFY(list.isVisible());
        QCOMPARE(list.pos(), beside());
        downloads.change(id, [](DownloadEntry &e) { e.state = State::Finished; });
        QCOMPARE(list.row(id)->entry().state, State::Finished);
        // The offscreen platform activates every window it shows; under X
        // with a window manager the list leaves the focus where it was.
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QCOMPARE(QApplication::focusWidget(), &window);
        list.close();
        QVERIFY(!list.isVisible() && list.row(id)); // only hidden
        window.move(40, 30);
        QTRY_COMPARE(window.pos(), QPoint(40, 30));
        emit downloads.attentionWanted();
        QVERIFY(list.isVisible());
        QCOMPARE(list.pos(), beside()); // it followed the window
        const QPoint moved = list.pos() + QPoint(-15, 25);
        list.move(moved);
        QTRY_COMPARE(list.pos(), moved);
        list.close();
        window.move(20, 20);
        emit downloads.attentionWanted();
        QCOMPARE(list.pos(), moved);
        qInstallMessageHandler(previous);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    }

private:
    static DownloadEntry entry(State state, qint64 received = 0, qint64 total = -1)
    {
        DownloadEntry e;
        e.state = state;
        e.received = received;
        e.total = total;
        return e;
    }

    QTemporaryDir m_settings;
};

QTEST_MAIN(DownloadListTest)
#include "tst_downloadlist.moc"
