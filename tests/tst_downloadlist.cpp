// The download list window against downloads the test writes: the buttons
// each entry offers and where they lead, the order of its rows and what it
// scrolls to, its folder, where it opens, how it shows itself, and the
// keyboard in it.
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QtTest>

#include "Desktop.h"
#include "DesktopWatch.h"
#include "DownloadFolder.h"
#include "DownloadList.h"
#include "DownloadNotices.h"
#include "DownloadRow.h"
#include "FakeDownloads.h"
#include "Placement.h"
#include "StopReason.h"

using State = DownloadEntry::State;

// A notification server that says what it shows only when the test lets it,
// as one started on demand does seconds later.
class SlowNotifications : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<QDBusMessage> asked;
    QStringList bodies;

public slots:
    QStringList GetCapabilities()
    {
        setDelayedReply(true);
        asked << message();
        return {};
    }
    uint Notify(const QString &, uint, const QString &, const QString &, const QString &body, const QStringList &,
                const QVariantMap &, int)
    {
        bodies << body;
        return 1;
    }
};

// A file manager that takes ShowItems and never answers, as one just started
// for the call is slow to.
class SlowFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    int asked = 0;

public slots:
    void ShowItems(const QStringList &, const QString &)
    {
        setDelayedReply(true);
        ++asked;
    }
};

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
        QTest::newRow("finished") << int(State::Finished) << QStringList {"打开", "打开所在文件夹"} << "打开" << int(A::NoAction) << "file:///dl/a.zip";
        // The existing file is opened once the downloads have given up the copy.
        QTest::newRow("already there") << int(State::AlreadyThere) << QStringList {"打开已有文件", "仍然下载", "取消"} << "打开已有文件" << int(A::OpenExisting) << "file:///dl/old.zip";
        QTest::newRow("nothing came") << int(State::NothingCame) << QStringList {"在浏览器中打开"} << "在浏览器中打开" << int(A::NoAction) << "http://site.test/f/x.html";
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
        DownloadEntry e = FakeDownloads::entry(State(state));
        e.path = QStringLiteral("/dl/a.zip");
        e.url = QUrl(QStringLiteral("http://site.test/f/x.html"));
        const int id = downloads.add(e);
        downloads.onAct = [&](int, DownloadEntry::Action) {
            downloads.change(id, [](DownloadEntry &changed) { changed.path = QStringLiteral("/dl/old.zip"); });
        };
        DownloadList list(downloads);
        QStringList shown;
        for (const QPushButton *shownButton : list.row(id)->buttons())
            shown << shownButton->text();
        QCOMPARE(shown, buttons);
        button(list, id, pressed)->click(); // one of those shown
        using Acted = QList<QPair<int, DownloadEntry::Action>>;
        QCOMPARE(downloads.acted, (acted ? Acted {{id, DownloadEntry::Action(acted)}} : Acted {}));
        QCOMPARE(desktop.opened, opened.isEmpty() ? QList<QUrl> {} : QList<QUrl> {QUrl(opened)});
    }

    // Twelve running entries, scrolled to start (a fraction of the way
    // down); then a new entry comes (running), or the oldest, at the bottom,
    // moves on to a state. News is scrolled into view; anything else (a
    // download finishing, like any change that is no failure) leaves the
    // user's place alone.
    void newestFirst_data()
    {
        QTest::addColumn<double>("scrolled");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("revealed");
        QTest::newRow("new entry") << 1.0 << int(State::Running) << true;
        QTest::newRow("未能开始下载") << 0.5 << int(State::NothingCame) << true;
        QTest::newRow("failed") << 0.0 << int(State::Failed) << true;
        QTest::newRow("interrupted") << 0.5 << int(State::Interrupted) << true;
        QTest::newRow("finished") << 0.5 << int(State::Finished) << false;
    }
    void newestFirst()
    {
        QFETCH(double, scrolled);
        QFETCH(int, state);
        QFETCH(bool, revealed);
        FakeDownloads downloads;
        for (int i = 0; i < 11; ++i)
            downloads.add({});
        DownloadList list(downloads);
        downloads.add({}); // running; shows the list
        list.resize(460, 300);
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        auto *scroll = list.findChild<QScrollArea *>();
        QScrollBar *bar = scroll->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(int(bar->maximum() * scrolled));
        const int before = bar->value();
        int id = 1;
        if (State(state) == State::Running)
            id = downloads.add({});
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

    // The folder shown, and what comes of the user's choice. Qt's own folder
    // dialog keeps its history (QtProject.conf) out of the program's
    // settings folder.
    void folder_data()
    {
        QTest::addColumn<QString>("chosen"); // in a temporary folder holding a regular file "plain"
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("told"); // the message box, "%1" for the chosen folder
        QTest::newRow("writable") << "下载" << true << "";
        QTest::newRow("under a regular file") << "plain/下载" << false << "无法写入该文件夹：%1\n下载仍保存到：/dl";
        QTest::newRow("Qt's dialog, cancelled") << "-" << false << "";
    }
    void folder()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, taken);
        QFETCH(QString, told);
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("下载")));
        const bool qtDialog = chosen == QLatin1String("-");
        chosen = dir.filePath(chosen);
        QSettings().remove(QStringLiteral("downloads/folder"));
        FakeDownloads downloads;
        DownloadList list(downloads);
        QString asked = QStringLiteral("/dl");
        if (!qtDialog) {
            list.setFolderChooser([&](QWidget *, const QString &current) {
                asked = current;
                return chosen;
            });
        }
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        auto *label = list.findChild<QLabel *>(QStringLiteral("folder"));
        QCOMPARE(label->text(), QStringLiteral("/dl"));
        // Tried until the box or the dialog is up, however long it takes to come.
        QString shownBox;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&shownBox] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                shownBox = box->text();
            if (modal)
                modal->close();
        });
        closer.start(10);
        list.findChild<QPushButton *>(QStringLiteral("changeFolder"))->click();
        QCOMPARE(asked, QStringLiteral("/dl"));
        QCOMPARE(shownBox, told.isEmpty() ? told : told.arg(chosen));
        const QString now = taken ? chosen : QStringLiteral("/dl");
        QCOMPARE(downloads.folderPath(), now);
        QCOMPARE(label->toolTip(), now);
        QCOMPARE(DownloadFolder::remembered(), taken ? chosen : QString());
        QCOMPARE(QDir(m_settings.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList {});
    }

    // A long name (75 Chinese characters, as the program cuts them to fit
    // the file system) neither widens the list nor scrolls it sideways: the
    // name is shortened in the middle, the extension kept, and whole in the
    // tooltip and for a screen reader. A site's markup shows as written.
    void nameAsWritten_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("shortened");
        QTest::newRow("as long as a name may be") << QString(75, QChar(0x8D44)) + QStringLiteral(".zip") << true;
        // What the row's title "&lt;h1&gt;已完成&lt;/h1&gt;" reads as.
        QTest::newRow("markup") << QStringLiteral("<h1>已完成</h1>") << false;
    }
    void nameAsWritten()
    {
        QFETCH(QString, name);
        QFETCH(bool, shortened);
        FakeDownloads downloads;
        DownloadList list(downloads);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        DownloadEntry running = FakeDownloads::entry(State::Running, 1 << 20, 8 << 20),
                      failed = FakeDownloads::entry(State::Failed);
        running.name = failed.name = name;
        failed.reason = QStringLiteral("无法写入下载文件夹：") + QString(40, QChar(0x6587)) + name;
        const int id = downloads.add(running);
        const int failedId = downloads.add(failed);
        auto *scroll = list.findChild<QScrollArea *>();
        // Laid out as shown, the newest entry brought into view.
        QTRY_VERIFY(scroll->widget()->width() > 0);
        QCoreApplication::processEvents();
        for (const DownloadRow *row : list.findChildren<DownloadRow *>())
            QVERIFY2(row->width() <= scroll->viewport()->width(), qPrintable(QString::number(row->width())));
        const auto *shown = list.row(id)->findChildren<QLabel *>().first();
        if (shortened)
            QVERIFY(shown->text() != name && shown->text().endsWith(QLatin1String(".zip")));
        else
            QCOMPARE(shown->text(), name);
        QCOMPARE(shown->accessibleName(), name);
        QTextDocument tip; // as a tooltip shows rich text
        tip.setHtml(shown->toolTip());
        QVERIFY(tip.toPlainText().startsWith(name));
        for (const QLabel *label : list.findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(list.row(failedId)->findChildren<QLabel *>().last()->text().endsWith(name));
    }

    void clearEnded()
    {
        // Only what has ended goes, and only from the list.
        FakeDownloads downloads;
        DownloadList list(downloads);
        auto *clear = list.findChild<QPushButton *>(QStringLiteral("clearEnded"));
        for (const State state : {State::Running, State::Finished, State::Failed, State::Cancelled, State::NothingCame,
                                  State::Interrupted, State::AlreadyThere, State::Paused, State::Waiting})
            downloads.add(FakeDownloads::entry(state));
        clear->click();
        QList<State> kept; // as the rows show them
        for (const DownloadRow *row : list.findChildren<DownloadRow *>())
            kept << row->entry().state;
        QCOMPARE(kept, (QList<State> {State::Running, State::Interrupted, State::AlreadyThere, State::Paused,
                                      State::Waiting}));
        downloads.change(1, [](DownloadEntry &e) { e.state = State::Finished; });
        QVERIFY(clear->isEnabled());
    }

    // What reaches the desktop of a change: a download's end, not its
    // keeping for the next start as the program ends.
    void notices_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("told"); // the notice's summary, "" for none
        QTest::newRow("finished") << int(State::Finished) << ""
                                  << "下载完成";
        QTest::newRow("broken off") << int(State::Interrupted) << "网络连接中断"
                                    << "下载失败";
        QTest::newRow("kept for the next start") << int(State::Interrupted) << StopReason::earlierRunText() << "";
    }
    void notices()
    {
        QFETCH(int, state);
        QFETCH(QString, reason);
        FakeDownloads downloads;
        QStringList told;
        DownloadNotices notices(downloads, nullptr, [&](const QString &summary, auto &&...) { told << summary; });
        const int id = downloads.add({});
        downloads.change(id, [&](DownloadEntry &e) {
            e.state = State(state);
            e.reason = reason;
        });
        QTEST(told.join(u','), "told");
    }

    // Keys pressed in turn from a button: Tab and Shift+Tab in reading order,
    // Space and Enter press, Esc hides; the focus moves on when its entry or
    // button goes. Entries oldest first, from an earlier run (paused ones offer
    // 删除); a button by entry and text, the bar's with 0; "": not looked at.
    void keys_data()
    {
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<int>("onEntry");
        QTest::addColumn<QString>("onButton");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<bool>("pressed");
        QTest::addColumn<int>("toEntry");
        QTest::addColumn<QString>("toButton");
        using L = QList<int>;
        const int r = int(State::Running), p = int(State::Paused), f = int(State::Finished);
        const L three = {r, f, p};
        const int tab = Qt::Key_Tab, back = Qt::Key_Backtab;
        const L space = {Qt::Key_Space};
        // clang-format off
        QTest::newRow("Tab: the bar") << three << 3 << "继续" << L(6, tab) << false << 0 << "更改…";
        QTest::newRow("Shift+Tab: right to left") << three << 0 << "清除已完成" << L {back} << false << 0 << "更改…";
        QTest::newRow("Enter") << L {r} << 1 << "取消" << L {Qt::Key_Return} << true << 1 << "取消";
        QTest::newRow("Enter on the keypad") << L {r} << 1 << "取消" << L {Qt::Key_Enter} << true << 1 << "取消";
        QTest::newRow("Esc hides the list") << L {r} << 1 << "取消" << L {Qt::Key_Escape} << false << 0 << "";
        QTest::newRow("删除: the entry below") << L {p, p, p} << 2 << "删除" << space << true << 1 << "继续";
        QTest::newRow("删除 the oldest: the entry above") << L {p, p, p} << 1 << "删除" << space << true << 2 << "继续";
        QTest::newRow("删除 the only one: 更改…") << L {p} << 1 << "删除" << space << true << 0 << "更改…";
        QTest::newRow("清除已完成: the newest left") << L {r, f, p, int(State::Failed)} << 0 << "清除已完成" << space << true << 3 << "继续";
        // New buttons keep the focus where it was, and their place in the order.
        QTest::newRow("暂停: 继续 there, Tab: 删除") << L {r} << 1 << "暂停" << L {Qt::Key_Space, tab} << true << 1 << "删除";
        // clang-format on
    }
    void keys()
    {
        QFETCH(QList<int>, states);
        QFETCH(int, onEntry);
        QFETCH(QString, onButton);
        QFETCH(QList<int>, keys);
        QFETCH(bool, pressed);
        QFETCH(int, toEntry);
        QFETCH(QString, toButton);
        FakeDownloads downloads;
        DownloadList list(downloads);
        downloads.playsAlong = true;
        for (const int state : std::as_const(states))
            downloads.add(FakeDownloads::entry(State(state), 0, -1, true));
        list.show();
        list.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&list));
        QPushButton *on = button(list, onEntry, onButton);
        // Before its clicked(), which may remove the button.
        QSignalSpy clicked(on, &QPushButton::released);
        on->setFocus(Qt::OtherFocusReason);
        for (const int key : std::as_const(keys))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(clicked.size(), int(pressed));
        QCOMPARE(list.isVisible(), !keys.contains(Qt::Key_Escape));
        if (toButton.isEmpty())
            return;
        QCOMPARE(QApplication::focusWidget(), button(list, toEntry, toButton));
        QStyleOptionButton option; // a style draws the focus frame once Tab has moved it
        option.initFrom(QApplication::focusWidget());
        QCOMPARE(option.state.testFlag(QStyle::State_KeyboardFocusChange),
                 keys.contains(Qt::Key_Tab) || keys.contains(Qt::Key_Backtab));
    }

    // Where the list opens, from frames in screen coordinates: the main
    // window, the list, the screen's available area, what it may never cover.
    void placement_data()
    {
        QTest::addColumn<QRect>("placed");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 0, 1280, 800);
        const QSize list(300, 200);
        const auto row = [](const char *name, QRect window, QSize list, QRect screen, QRect expected, QRect keep = {}) {
            QTest::newRow(name) << Placement::beside(window, list, screen, keep) << expected;
        };
        // clang-format off
        row("below", {300, 100, 700, 300}, list, screen, {300, 408, 300, 200});
        row("right, raised to fit", {100, 500, 400, 200}, {300, 400}, screen, {508, 400, 300, 400});
        row("left on a second screen", {1800, 100, 1000, 600}, {460, 380}, {1280, 24, 1920, 1056}, {1332, 100, 460, 380});
        row("no room: covers at the edge", screen, list, screen, {980, 0, 300, 200});
        // The program's window at x, y and its list, framed; what stays in sight
        // is the title bar down to the keyword box and 搜索.
        const auto framed = [&row](const char *name, const QRect &screen, int x, int y, const QRect &expected) {
            row(name, QRect(x, y, 504, 378), QSize(464, 406), screen, expected, QRect(x, y, 504, 79));
        };
        const QRect small(0, 0, 1024, 768);
        framed("1280×800, centred: narrowed on the right", screen, 388, 211, {900, 211, 380, 406});
        framed("1024×768, centred: over the window, below the keyword box", small, 260, 195, {560, 282, 464, 406});
        // clang-format on
    }
    void placement()
    {
        QFETCH(QRect, placed);
        QTEST(placed, "expected");
    }

    void showsItselfQuietlyBesideItsWindow()
    {
        // Shown beside the main window, without the focus, when an entry
        // comes or the user asks again for one under way; where the user put
        // it once moved. A finished download asks for a notification; without
        // a notification server (none runs here) nothing is logged.
        // The offscreen platform's own notes are not ours.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^(?!This plugin does not)")));
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
                                     window.screen()->availableGeometry())
                .topLeft();
        };
        QVERIFY(!list.isVisible());
        const int id = downloads.add({});
        QVERIFY(list.isVisible());
        QCOMPARE(list.pos(), beside());
        downloads.change(id, [](DownloadEntry &e) { e.state = State::Finished; });
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
        // Asked for (Ctrl+J), it takes the keyboard.
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        list.activate();
        QVERIFY(QTest::qWaitForWindowActive(&list));
    }

    // The window goes on while the notification server takes its time to
    // say whether it reads markup: the notice goes at once, escaped, and
    // once the server has said, as it reads.
    void notifiesWithoutWaitingForItsServer()
    {
        QDBusConnection server = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("server"));
        if (!server.isConnected())
            QSKIP("no session bus here");
        SlowNotifications notifications;
        QVERIFY(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                                      QDBusConnection::ExportAllSlots));
        QVERIFY(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
        const QString body = QStringLiteral("<h1>a.zip</h1>");
        Desktop::notify(QStringLiteral("下载完成"), body, {}, false);
        QTRY_COMPARE(notifications.bodies, QStringList {body.toHtmlEscaped()});
        QCOMPARE(notifications.asked.size(), 1);
        QVERIFY(server.send(notifications.asked.first().createReply(QStringList {QStringLiteral("body")})));
        QTRY_VERIFY(
            (Desktop::notify(QStringLiteral("下载完成"), body, {}, false), notifications.bodies.last() == body));
        QCOMPARE(notifications.asked.size(), 1);
        QDBusConnection::disconnectFromBus(server.name());
    }

    // A file manager slow to answer shows the folder itself: the folder is
    // not opened a second time.
    void aSlowFileManagerGetsNoSecondWindow()
    {
        QDBusConnection server = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("files"));
        if (!server.isConnected())
            QSKIP("no session bus here");
        SlowFileManager files;
        const QString service = QStringLiteral("org.freedesktop.FileManager1"),
                      object = QStringLiteral("/org/freedesktop/FileManager1");
        QVERIFY(server.registerObject(object, &files, QDBusConnection::ExportAllSlots));
        QVERIFY(server.registerService(service));
        DesktopWatch desktop;
        Desktop::showInFolder(QStringLiteral("/dl/a.zip"), 50);
        QTRY_COMPARE(files.asked, 1);
        // Asked later for as long, on the same connection: the program's
        // wait has ended, and been answered, before this one does.
        QDBusMessage call = QDBusMessage::createMethodCall(service, object, service, QStringLiteral("ShowItems"));
        call << QStringList() << QString();
        QDBusPendingCallWatcher probe(QDBusConnection::sessionBus().asyncCall(call, 50));
        QSignalSpy ended(&probe, &QDBusPendingCallWatcher::finished);
        QVERIFY(ended.wait());
        QCOMPARE(desktop.opened, QList<QUrl> {});
        QDBusConnection::disconnectFromBus(server.name());
    }

private:
    // An entry's button, or with id 0 the bar's.
    static QPushButton *button(const DownloadList &list, int id, const QString &text)
    {
        const QList<QPushButton *> buttons = id ? list.row(id)->buttons() : list.findChildren<QPushButton *>();
        const auto found = std::find_if(buttons.cbegin(), buttons.cend(), [&](auto *b) { return b->text() == text; });
        return found == buttons.cend() ? nullptr : *found;
    }

    QTemporaryDir m_settings;
};

QTEST_MAIN(DownloadListTest)
#include "tst_downloadlist.moc"
