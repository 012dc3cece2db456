// Downloads started by the hidden pages: where they land, under which name,
// why they fail, how broken ones resume, and that cancelled ones leave
// nothing behind.
#include <memory>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "DemoSite.h"
#include "DownloadEntry.h"
#include "DownloadList.h"
#include "DownloadManager.h"
#include "WebEngineBrowser.h"
#include "WebEngineSession.h"

namespace {

// Serves a page whose table starts /slow, a download that trickles for
// seconds (as does any other path), /cut, a download whose connection drops
// after 256 KB, and /late, one that drops after 1 MB.
class TrickleServer : public QTcpServer
{
public:
    TrickleServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [socket] { answer(socket); });
        });
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }

private:
    static void answer(QTcpSocket *socket)
    {
        const QByteArray request = socket->peek(4096);
        if (!request.contains("\r\n\r\n"))
            return;
        socket->readAll();
        const QByteArray path = request.split(' ').value(1);
        if (path == "/page") {
            const QByteArray body = "<html><body><table onclick=\"location.href='/slow'\"><tr><td>slow</td></tr>"
                                    "</table></body></html>";
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            return;
        }
        const qint64 total = 8 << 20;
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                      + QByteArray::number(total) + "\r\nContent-Disposition: attachment; filename=\"" + path.mid(1)
                      + ".bin\"\r\nConnection: close\r\n\r\n");
        auto *timer = new QTimer(socket);
        const qint64 cutAt = path == "/cut" ? 256 << 10 : path == "/late" ? 1 << 20 : total;
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, cutAt, sent = qint64(0)]() mutable {
            sent += socket->write(QByteArray(32 * 1024, 'x'));
            if (sent >= cutAt) {
                timer->stop();
                socket->abort();
            }
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        timer->start(50);
    }
};

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

using State = DownloadEntry::State;

class TstDownloads : public QObject
{
    Q_OBJECT

    DownloadManager *manager() const { return m_session->downloads(); }
    DownloadEntry last() const { return manager()->entries().value(manager()->entries().size() - 1); }
    QString folder() const { return m_dir->path() + QStringLiteral("/sub"); }
    // Starts a download by address, as the user's click would.
    void download(const QString &address)
    {
        m_browser->Navigate(address);
        m_browser->allowUserAction(1, 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
        QVERIFY(m_trickle.listen(QHostAddress::LocalHost));
        m_session = std::make_unique<WebEngineSession>();
        m_session->setUrlOpener([](const QUrl &) {});
        m_session->downloads()->setWidgetsVisible(false);
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_session->downloads()->setDownloadDirectory(m_dir->path() + QStringLiteral("/sub"));
        m_browser = static_cast<WebEngineBrowser *>(m_session->createBrowser(this));
        m_complete = std::make_unique<QSignalSpy>(m_browser, &Browser::DocumentComplete);
        m_failed = std::make_unique<QSignalSpy>(m_browser, &Browser::loadFailed);
        m_started = std::make_unique<QSignalSpy>(m_session->downloads(), &DownloadManager::downloadStarted);
        m_finished = std::make_unique<QSignalSpy>(m_session->downloads(), &DownloadManager::downloadFinished);
        m_failures = std::make_unique<QSignalSpy>(m_session->downloads(), &DownloadManager::downloadFailed);
    }
    void cleanup()
    {
        m_session->downloads()->cancelAll();
        m_session->downloads()->setFreeSpace({});
        m_failures.reset();
        m_complete.reset();
        m_failed.reset();
        m_started.reset();
        m_finished.reset();
        delete m_browser;
        m_dir.reset();
    }
    void cleanupTestCase() { m_session.reset(); }

    void clickedFileLandsWithItsNameAndBytes()
    {
        const QString dir = m_dir->path() + QStringLiteral("/sub");
        m_browser->Navigate(m_site.siteBase() + QStringLiteral("/f/a1b2c3.html"));
        QVERIFY(m_complete->wait(30000));
        const QByteArray expected = DemoSite::fileBytes(QStringLiteral("a1b2c3"));
        QVERIFY(!expected.isEmpty());

        for (const QString &name : {QStringLiteral("Qt 编程入门教程.zip"), QStringLiteral("Qt 编程入门教程 (1).zip")}) {
            const int before = manager()->entries().size();
            m_browser->allowUserAction(1, 0);
            m_browser->clickElementsByText(QStringLiteral("table"), QStringLiteral("0分"));
            QTRY_COMPARE_WITH_TIMEOUT(manager()->entries().size(), before + 1, 30000);
            // The second click finds the first file there, and saves anyway.
            if (before > 0) {
                QTRY_COMPARE_WITH_TIMEOUT(last().state, State::AlreadyThere, 30000);
                manager()->act(last().id, DownloadEntry::DownloadAnyway);
            }
            QTRY_COMPARE_WITH_TIMEOUT(last().state, State::Finished, 30000);
            QCOMPARE(last().path, QDir(dir).filePath(name));
            QFile file(QDir(dir).filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.readAll() == expected);
        }
        QTest::qWait(500);
        // The navigation that became a download is neither a document nor a failure.
        QCOMPARE(m_complete->count(), 1);
        QCOMPARE(m_failed->count(), 0);
        QVERIFY(m_browser->bodyText().contains(QStringLiteral("免费下载")));
        QCOMPARE(filesIn(dir).size(), 2);
        QVERIFY(!m_session->downloads()->hasRunningDownloads());
        QCOMPARE(last().state, State::Finished);
        QCOMPARE(last().actions(), DownloadEntry::Open | DownloadEntry::OpenFolder);
    }

    void atMostThreeTransferAtOnce()
    {
        const QDir dir(m_dir->path() + QStringLiteral("/sub"));
        const auto written = [&](const QString &name) {
            return QFileInfo(dir.filePath(name + QStringLiteral(".bin.download"))).size();
        };
        for (const QString &path :
             {QStringLiteral("late"), QStringLiteral("slow2"), QStringLiteral("slow3"), QStringLiteral("slow4")}) {
            m_browser->Navigate(m_trickle.base() + QLatin1Char('/') + path);
            m_browser->allowUserAction(1, 0);
            QVERIFY(m_started->wait(30000));
        }
        QTest::qWait(500);
        const qint64 waiting = written(QStringLiteral("slow4"));
        QVERIFY2(written(QStringLiteral("slow3")) > waiting + (64 << 10), qPrintable(QString::number(waiting)));
        // The first one breaks off (and waits for 继续); the waiting one
        // takes its place.
        QVERIFY(m_failures->wait(30000));
        QTRY_VERIFY_WITH_TIMEOUT(written(QStringLiteral("slow4")) > waiting + (128 << 10), 10000);
    }

    void listShowsEntriesQuietly()
    {
        // Shown when an entry comes, without the focus; a finished download
        // asks for a notification, and without a notification server (none
        // runs here) nothing is logged.
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous
            = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
                  // The offscreen platform's own notes are not ours.
                  if (type != QtDebugMsg && type != QtInfoMsg
                      && !text.startsWith(QLatin1String("This plugin does not support")))
                      warnings << text;
              });
        QLineEdit typing;
        typing.show();
        typing.activateWindow();
        typing.setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&typing));
        manager()->setWidgetsVisible(true);
        download(m_site.siteBase() + QStringLiteral("/d/a1b2c3"));
        const bool finished = m_finished->wait(30000);
        QTest::qWait(500);
        manager()->setWidgetsVisible(false);
        qInstallMessageHandler(previous);
        QVERIFY(finished);
        DownloadList *list = manager()->list();
        QVERIFY(list->isVisible());
        QCOMPARE(list->row(last().id)->entry().state, State::Finished);
        // The offscreen platform activates every window it shows; under X
        // with a window manager the list leaves the focus where it was.
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QCOMPARE(QApplication::focusWidget(), &typing);
        list->close();
        QVERIFY(!list->isVisible() && list->row(last().id)); // only hidden
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    }

    void cutDownloadResumesByteIdentical_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("reason"); // of the interruption the user sees, if any
        QTest::newRow("by itself") << QStringLiteral("?cut=1000000") << QString();
        // Refused twice: the engine's try to continue, and the program's look
        // at the status.
        QTest::newRow("继续 after the server refused")
            << QStringLiteral("?cut=1000000&refuse=500&times=2") << QStringLiteral("服务器拒绝了下载（HTTP 500）");
    }
    void cutDownloadResumesByteIdentical()
    {
        QFETCH(QString, query);
        QFETCH(QString, reason);
        const QByteArray expected = DemoSite::fileBytes(QStringLiteral("umzj41"));
        download(m_site.siteBase() + QStringLiteral("/d/umzj41") + query);
        if (!reason.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(last().reason, reason, 30000);
            QCOMPARE(last().state, State::Interrupted);
            const QString partial = last().path + QStringLiteral(".download");
            QCOMPARE(QFileInfo(partial).size(), 1000000);
            QCOMPARE(QFileInfo(last().path).size(), 0);
            manager()->act(last().id, DownloadEntry::Resume);
        }
        QVERIFY(m_finished->wait(30000));
        QVERIFY(m_finished->first().at(1).toBool());
        QFile file(m_finished->first().at(0).toString());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == expected);
        QCOMPARE(filesIn(folder()).size(), 1);
    }

    void failureReasons_data()
    {
        QTest::addColumn<QString>("address"); // "trickle:" or "site:" and a path
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason"); // "%1" stands for the folder
        QTest::addColumn<int>("state");
        QTest::newRow("server error") << "site:/d/umzj41?cut=1000000&refuse=503&times=99" << QString()
                                      << "服务器拒绝了下载（HTTP 503）" << int(State::Interrupted);
        QTest::newRow("disk full") << "trickle:/slow"
                                   << "full"
                                   << "磁盘空间不足：文件有 8.00 MiB，%1 只剩 0 bytes" << int(State::Failed);
        QTest::newRow("folder not writable") << "trickle:/slow"
                                             << "file"
                                             << "无法写入下载文件夹：%1" << int(State::Failed);
        // Cut on every try, with nothing to resume from: the engine's own
        // retries give up, and the entry waits for the user.
        QTest::newRow("network cut") << "trickle:/cut" << QString() << "网络连接中断" << int(State::Interrupted);
        QTest::newRow("user cancelled") << "trickle:/slow"
                                        << "cancel"
                                        << "已取消" << int(State::Cancelled);
    }
    void failureReasons()
    {
        QFETCH(QString, address);
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        QFETCH(int, state);
        QString dir = folder();
        if (fault == QLatin1String("file")) {
            // Root may write anywhere, but not under a regular file.
            QFile(m_dir->filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly);
            dir = m_dir->filePath(QStringLiteral("plain/sub"));
            manager()->setDownloadDirectory(dir);
        }
        const QString base = address.startsWith(QLatin1String("site:")) ? m_site.siteBase() : m_trickle.base();
        download(base + address.mid(address.indexOf(QLatin1Char(':')) + 1));
        if (fault == QLatin1String("full") || fault == QLatin1String("cancel")) {
            QVERIFY(m_started->wait(30000));
            if (fault == QLatin1String("full"))
                manager()->setFreeSpace([](const QString &) { return DownloadManager::SpareBytes - 1; });
            else
                manager()->act(last().id, DownloadEntry::Cancel);
        }
        if (reason.contains(QLatin1String("%1")))
            reason = reason.arg(QDir::toNativeSeparators(dir));
        QTRY_COMPARE_WITH_TIMEOUT(last().reason.isEmpty() ? last().statusText() : last().reason, reason, 30000);
        QCOMPARE(int(last().state), state);
        QVERIFY(!m_failures->isEmpty());
        QCOMPARE(m_failed->count(), 0);
        // Never data under the final name; a cancelled one leaves nothing.
        const QString target = QDir(dir).filePath(last().name);
        QVERIFY(!QFileInfo::exists(target) || QFileInfo(target).size() == 0);
        if (fault == QLatin1String("cancel"))
            QTRY_VERIFY(filesIn(dir).isEmpty());
    }

    void alreadyThere_data()
    {
        QTest::addColumn<bool>("fast"); // done before its size reaches us, or trickling
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("state");
        QTest::addColumn<QStringList>("files");
        const QString slow = QStringLiteral("slow.bin"), zip = QStringLiteral("Linux 壁纸合集.zip");
        QTest::newRow("打开已有文件") << false << int(DownloadEntry::OpenExisting) << int(State::Finished)
                                      << QStringList {slow};
        QTest::newRow("仍然下载") << false << int(DownloadEntry::DownloadAnyway) << int(State::Running)
                                  << QStringList {QStringLiteral("slow (1).bin"),
                                                  QStringLiteral("slow (1).bin.download"), slow};
        QTest::newRow("fast, 打开已有文件")
            << true << int(DownloadEntry::OpenExisting) << int(State::Finished) << QStringList {zip};
        QTest::newRow("fast, 仍然下载") << true << int(DownloadEntry::DownloadAnyway) << int(State::Finished)
                                        << QStringList {QStringLiteral("Linux 壁纸合集 (1).zip"), zip};
    }
    void alreadyThere()
    {
        QFETCH(bool, fast);
        QFETCH(int, choice);
        QFETCH(int, state);
        QFETCH(QStringList, files);
        const QString existing = QDir(folder()).filePath(files.last());
        QVERIFY(QDir().mkpath(folder()));
        if (fast) {
            // Saved once already, then clicked again.
            download(m_site.siteBase() + QStringLiteral("/d/umzj41"));
            QVERIFY(m_finished->wait(30000));
            download(m_site.siteBase() + QStringLiteral("/d/umzj41"));
        } else {
            // The trickled file, already there: same name, same size.
            QFile file(existing);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(8 << 20));
            file.close();
            download(m_trickle.base() + QStringLiteral("/slow"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(last().state, State::AlreadyThere, 30000);
        QCOMPARE(last().reason, QDir::toNativeSeparators(existing));
        QCOMPARE(last().actions(), DownloadEntry::OpenExisting | DownloadEntry::DownloadAnyway | DownloadEntry::Cancel);
        manager()->act(last().id, DownloadEntry::Action(choice));
        QTRY_COMPARE_WITH_TIMEOUT(int(last().state), state, 30000);
        QTRY_COMPARE(filesIn(folder()), files);
        if (choice == DownloadEntry::OpenExisting)
            QCOMPARE(last().path, existing);
    }

    // The list's rules, without the engine: what each state shows and offers.
    void entryTexts_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("size");
        const auto row = [](State s, QStringList buttons, const char *status, const char *size) {
            QTest::newRow(qPrintable(DownloadEntry::stateText(s)))
                << int(s) << buttons << QString::fromUtf8(status) << QString::fromUtf8(size);
        };
        row(State::Waiting, {"暂停", "取消"}, "等待中", "1.00 MiB / 4.00 MiB");
        row(State::Running, {"暂停", "取消"}, "正在下载 · 512.00 KiB/s · 剩余 6 秒", "1.00 MiB / 4.00 MiB");
        row(State::Paused, {"继续", "取消"}, "已暂停", "1.00 MiB / 4.00 MiB");
        row(State::Interrupted, {"继续", "取消"}, "已中断：网络连接中断", "1.00 MiB / 4.00 MiB");
        row(State::Failed, {"重试"}, "失败：网络连接中断", "1.00 MiB / 4.00 MiB");
        row(State::Cancelled, {"重试"}, "已取消", "1.00 MiB / 4.00 MiB");
        row(State::Finished, {"打开", "打开所在文件夹"}, "已完成", "4.00 MiB");
        row(State::AlreadyThere, {"取消", "打开已有文件", "仍然下载"}, "文件夹里已有此文件：网络连接中断",
            "1.00 MiB / 4.00 MiB");
        row(State::NothingCame, {"在浏览器中打开"}, "未能开始下载：网络连接中断", "");
    }
    void entryTexts()
    {
        QFETCH(int, state);
        QFETCH(QStringList, buttons);
        QFETCH(QString, status);
        QFETCH(QString, size);
        DownloadEntry e;
        e.state = State(state);
        e.received = 1 << 20;
        e.total = 4 << 20;
        e.bytesPerSecond = 512 << 10;
        e.reason = QStringLiteral("网络连接中断");
        QStringList shown;
        for (int bit = 0; bit < 9; ++bit) {
            if (e.actions().testFlag(DownloadEntry::Action(1 << bit)))
                shown << DownloadEntry::actionText(DownloadEntry::Action(1 << bit));
        }
        QCOMPARE(shown, buttons);
        QCOMPARE(e.statusText(), status);
        QCOMPARE(e.sizeText(), size);
        QCOMPARE(e.permille(), e.state == State::Finished ? 1000 : 250);
        QCOMPARE(DownloadEntry::durationText(3725), QStringLiteral("1 小时 2 分"));
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<QString>("saved"); // the name reserved in a folder holding "a.tar.gz"
        QTest::newRow("path") << QStringLiteral("../../etc/passwd") << QStringLiteral("passwd");
        QTest::newRow("backslashes") << QStringLiteral("..\\..\\a.exe") << QStringLiteral("a.exe");
        QTest::newRow("only dots") << QStringLiteral("..") << QStringLiteral("download");
        QTest::newRow("nothing") << QString() << QStringLiteral("download");
        QTest::newRow("plain") << QStringLiteral("资料 1.zip") << QStringLiteral("资料 1.zip");
        QTest::newRow("taken") << QStringLiteral("a.tar.gz") << QStringLiteral("a (1).tar.gz");
        QTest::newRow("right-to-left override")
            << QStringLiteral("invoice\u202Etxt.desktop") << QStringLiteral("invoicetxt.desktop.txt");
        QTest::newRow("zero width, BOM, isolates, controls")
            << QStringLiteral("\uFEFFa\u200Bb\u2066c\u2069\r\nd\u0007.pdf") << QStringLiteral("abcd.pdf");
        QTest::newRow("launcher") << QStringLiteral("run.Desktop ") << QStringLiteral("run.Desktop.txt");
    }
    void fileNames()
    {
        QFETCH(QString, suggested);
        QFETCH(QString, saved);
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath(QStringLiteral("a.tar.gz"))).open(QIODevice::NewOnly));
        const QString path = DownloadManager::reserveFile(dir.path(), DownloadManager::sanitizeFileName(suggested));
        QCOMPARE(path, dir.filePath(saved));
        QVERIFY(QFileInfo::exists(path));
    }

private:
    DemoSite m_site;
    TrickleServer m_trickle;
    std::unique_ptr<WebEngineSession> m_session;
    std::unique_ptr<QTemporaryDir> m_dir;
    WebEngineBrowser *m_browser = nullptr;
    std::unique_ptr<QSignalSpy> m_complete, m_failed, m_started, m_finished, m_failures;
};

int main(int argc, char **argv)
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    TstDownloads test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_downloads.moc"
