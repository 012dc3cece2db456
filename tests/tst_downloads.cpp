// Downloads started by the hidden pages: where they land, under which name,
// and that cancelled or broken ones leave nothing behind.
#include "DemoSite.h"
#include "DownloadManager.h"
#include "DownloadWidget.h"
#include "WebEngineBrowser.h"
#include "WebEngineSession.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

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
                      + QByteArray::number(total) + "\r\nContent-Disposition: attachment; filename=\""
                      + path.mid(1) + ".bin\"\r\nConnection: close\r\n\r\n");
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

class TstDownloads : public QObject
{
    Q_OBJECT

    static QList<DownloadWidget *> findDownloadWidgets()
    {
        QList<DownloadWidget *> out;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *d = qobject_cast<DownloadWidget *>(w))
                out << d;
        }
        return out;
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
    }
    void cleanup()
    {
        m_session->downloads()->cancelAll();
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
            m_finished->clear();
            m_browser->allowUserAction(1, 0);
            m_browser->clickElementsByText(QStringLiteral("table"), QStringLiteral("0分"));
            QVERIFY(m_finished->wait(30000));
            QCOMPARE(m_finished->first().at(0).toString(), QDir(dir).filePath(name));
            QVERIFY(m_finished->first().at(1).toBool());
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
        // Windows that are never shown are released once their download ends.
        QTRY_VERIFY(findDownloadWidgets().isEmpty());
    }

    void largestFileByAddress()
    {
        const QByteArray expected = DemoSite::fileBytes(QStringLiteral("umzj41"));
        QElapsedTimer clock;
        clock.start();
        m_browser->Navigate(m_site.siteBase() + QStringLiteral("/d/umzj41"));
        m_browser->allowUserAction(1, 0);
        QVERIFY(m_finished->wait(60000));
        const qint64 ms = qMax<qint64>(1, clock.elapsed());
        qInfo("%lld bytes in %lld ms: %.1f MB/s", qint64(expected.size()), ms, expected.size() / 1048.576 / ms);
        QFile file(m_finished->first().at(0).toString());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == expected);
        QTest::qWait(300);
        QCOMPARE(m_complete->count(), 0);
        QCOMPARE(m_failed->count(), 0);
    }

    void runningDownloadIsNotDuplicatedAndCancelLeavesNothing()
    {
        const QString dir = m_dir->path() + QStringLiteral("/sub");
        m_browser->Navigate(m_trickle.base() + QStringLiteral("/page"));
        QVERIFY(m_complete->wait(30000));
        m_browser->allowUserAction(1, 0);
        m_browser->clickElementsByText(QStringLiteral("table"), QStringLiteral("slow"));
        QVERIFY(m_started->wait(30000));
        QTest::qWait(300);
        m_browser->allowUserAction(1, 0);
        m_browser->clickElementsByText(QStringLiteral("table"), QStringLiteral("slow"));
        QTest::qWait(1000);
        QCOMPARE(m_started->count(), 1);
        QCOMPARE(m_finished->count(), 0);
        QVERIFY(m_session->downloads()->hasRunningDownloads());
        // The name reserved, and the engine's partial file beside it.
        QCOMPARE(filesIn(dir), (QStringList {QStringLiteral("slow.bin"), QStringLiteral("slow.bin.download")}));

        m_session->downloads()->cancelAll();
        QVERIFY(!m_session->downloads()->hasRunningDownloads());
        QCOMPARE(m_finished->count(), 1);
        QVERIFY(!m_finished->first().at(1).toBool());
        QVERIFY(filesIn(dir).isEmpty());
        QTest::qWait(1000); // the engine winding down must not bring it back
        QVERIFY(filesIn(dir).isEmpty());
    }

    void atMostThreeTransferAtOnce()
    {
        const QDir dir(m_dir->path() + QStringLiteral("/sub"));
        const auto written = [&](const QString &name) { return QFileInfo(dir.filePath(name + QStringLiteral(".bin.download"))).size(); };
        for (const QString &path : {QStringLiteral("late"), QStringLiteral("slow2"), QStringLiteral("slow3"), QStringLiteral("slow4")}) {
            m_browser->Navigate(m_trickle.base() + QLatin1Char('/') + path);
            m_browser->allowUserAction(1, 0);
            QVERIFY(m_started->wait(30000));
        }
        QTest::qWait(500);
        const qint64 waiting = written(QStringLiteral("slow4"));
        QVERIFY2(written(QStringLiteral("slow3")) > waiting + (64 << 10), qPrintable(QString::number(waiting)));
        // The first one breaks off; the waiting one takes its place.
        QVERIFY(m_finished->wait(30000));
        QTRY_VERIFY_WITH_TIMEOUT(written(QStringLiteral("slow4")) > waiting + (128 << 10), 10000);
    }

    void brokenDownloadRemovesItsPartialFile()
    {
        const QString dir = m_dir->path() + QStringLiteral("/sub");
        m_browser->Navigate(m_trickle.base() + QStringLiteral("/cut"));
        m_browser->allowUserAction(1, 0);
        QVERIFY(m_finished->wait(30000));
        QVERIFY(!m_finished->first().at(1).toBool());
        QTest::qWait(500);
        QVERIFY(filesIn(dir).isEmpty());
        QCOMPARE(m_failed->count(), 0);
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

    void longNamesAreCutWhole()
    {
        // Cut to whole characters, extension kept, with room for " (n)" and
        // the engine's ".download".
        const QString name = QString(300000, QChar(0x4E2D)) + QString(300000, QLatin1Char('a')) + QStringLiteral(".zip");
        const QString cut = DownloadManager::sanitizeFileName(name);
        QVERIFY(cut.endsWith(QStringLiteral(".zip")));
        QVERIFY(cut.toUtf8().size() + int(qstrlen(" (99999).download")) <= 255);
        QVERIFY(cut.toUtf8().size() > 220);
        QCOMPARE(cut.left(cut.size() - 4), QString(cut.size() - 4, QChar(0x4E2D)));
    }

private:
    DemoSite m_site;
    TrickleServer m_trickle;
    std::unique_ptr<WebEngineSession> m_session;
    std::unique_ptr<QTemporaryDir> m_dir;
    WebEngineBrowser *m_browser = nullptr;
    std::unique_ptr<QSignalSpy> m_complete, m_failed, m_started, m_finished;
};

int main(int argc, char **argv)
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    TstDownloads test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_downloads.moc"
