// The download list window against downloads the test writes: the buttons
// each entry offers and where they lead, and how the list shows itself.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "DesktopWatch.h"
#include "DownloadList.h"
#include "DownloadNotices.h"
#include "DownloadRow.h"
#include "FakeDownloads.h"

using State = DownloadEntry::State;

class DownloadListTest : public QObject
{
    Q_OBJECT

private slots:
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

    void showsItselfQuietly()
    {
        // Shown when an entry comes or the user asks again for one under way,
        // without the focus; a finished download asks for a notification, and
        // without a notification server (none runs here) nothing is logged.
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &text) {
                // The offscreen platform's own notes are not ours.
                if (type != QtDebugMsg && type != QtInfoMsg && !text.startsWith(QLatin1String("This plugin does not")))
                    warnings << text;
            });
        QLineEdit typing;
        typing.show();
        typing.activateWindow();
        typing.setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&typing));
        FakeDownloads downloads;
        DownloadList list(downloads);
        DownloadNotices notices(downloads);
        QVERIFY(!list.isVisible());
        const int id = downloads.add({});
        QVERIFY(list.isVisible());
        downloads.change(id, [](DownloadEntry &e) { e.state = State::Finished; });
        QCOMPARE(list.row(id)->entry().state, State::Finished);
        // The offscreen platform activates every window it shows; under X
        // with a window manager the list leaves the focus where it was.
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QCOMPARE(QApplication::focusWidget(), &typing);
        list.close();
        QVERIFY(!list.isVisible() && list.row(id)); // only hidden
        emit downloads.attentionWanted();
        QVERIFY(list.isVisible());
        qInstallMessageHandler(previous);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(DownloadListTest)
#include "tst_downloadlist.moc"
