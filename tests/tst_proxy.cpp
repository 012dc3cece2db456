// The desktop's proxy as a GNOME user sets it (GNOME Settings, stored by
// gsettings), host by host: the pages, their downloads and the program's own
// requests go where it says for each host; a proxy of the environment wins.
// And the program's own requests carry no more than the engine's would
// across hosts. Runs in the session tests/desktop/proxy-session.sh makes,
// which gives this host 10.77.0.1 to 10.77.0.3; the engine reads its proxy
// once, so each setting is tried in a child process of its own.
#include <QApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QtTest>

#include "DemoSite.h"
#include "Module1.h"
#include "RealWindow.h"
#include "ServerProbe.h"
#include "WebEngineSession.h"

namespace {

bool gsettings(const QString &schema, const QString &key, const QString &value)
{
    return QProcess::execute("gsettings", {"set", "org.gnome.system.proxy" + schema, key, value}) == 0;
}

// GNOME's proxy settings: mode, the hosts exempt (a GVariant list), the HTTP
// proxy's port on 127.0.0.1 and the PAC address.
bool setGnomeProxy(const QString &mode, const QString &ignore = "[]", int port = 3128, const QString &pac = {})
{
    return gsettings({}, "mode", mode) && gsettings({}, "ignore-hosts", ignore) && gsettings({}, "autoconfig-url", pac)
           && gsettings(".http", "host", "127.0.0.1") && gsettings(".http", "port", QString::number(port));
}

QString proxyLog()
{
    QFile log(qEnvironmentVariable("ONDRIX_PROXY_LOG"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLatin1(log.readAll()) : QString();
}

// A third host, or two: answers /proxy.pac with a script that sends only
// 10.77.0.2 through the proxy, /hop with a redirect to 10.77.0.3, anything
// else with "ok"; notes each request's host, path, Cookie and Referer.
class TinyServer : public QTcpServer
{
public:
    struct Seen
    {
        QByteArray host, path, cookie, referer;
    };
    QList<Seen> seen;

    TinyServer()
    {
        listen(QHostAddress::Any);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QTcpSocket::readyRead, s, [this, s] { read(s); });
            }
        });
    }

private:
    void read(QTcpSocket *s)
    {
        const QByteArray in = s->property("in").toByteArray() + s->readAll();
        s->setProperty("in", in);
        if (!in.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> lines = in.left(in.indexOf("\r\n\r\n")).split('\n');
        Seen r;
        r.path = lines.value(0).split(' ').value(1);
        for (const QByteArray &line : lines.mid(1)) {
            const QByteArray name = line.left(line.indexOf(':')).toLower(), value = line.mid(line.indexOf(':') + 1);
            if (name == "host" || name == "cookie" || name == "referer")
                (name == "host" ? r.host : name == "cookie" ? r.cookie : r.referer) = value.trimmed();
        }
        seen << r;
        QByteArray head = "200 OK", body = "ok";
        if (r.path == "/hop")
            head = "302 Found\r\nLocation: http://10.77.0.3:" + QByteArray::number(serverPort()) + "/end", body = "";
        if (r.path == "/proxy.pac")
            body = R"(function FindProxyForURL(u, h) { return h == "10.77.0.2" ? "PROXY 127.0.0.1:3128" : "DIRECT"; })";
        s->write("HTTP/1.1 " + head + "\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\nConnection: close\r\n\r\n" + (in.startsWith("HEAD") ? QByteArray() : body));
        s->disconnectFromHost();
    }
};

// The child: the engine loads each address, then the program asks its
// server for the file's validators, both as the desktop's proxy says.
int engineChild(int argc, char **argv)
{
    WebEngineSession::prepareApplication();
    Module1::followDesktopProxy();
    QApplication app(argc, argv);
    WebEngineSession session; // starts the engine
    QWebEngineProfile profile;
    QWebEnginePage page(&profile);
    QNetworkAccessManager network;
    ServerProbe probe(&network, {});
    for (const QString &address : QApplication::arguments().mid(2)) {
        bool probed = false;
        const QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
        const QSignalSpy download(&profile, &QWebEngineProfile::downloadRequested);
        page.load(QUrl(address));
        if (!spinUntil([&] { return loaded.count() || download.count(); }))
            return 1;
        probe.validators(QUrl(address), {}, &app, [&](const ServerProbe::Validators &) { probed = true; });
        if (!spinUntil([&] { return probed; }))
            return 2;
    }
    return 0;
}

} // namespace

class ProxyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("ONDRIX_PROXY_LOG"), "run by proxy-session.sh");
        QVERIFY2(m_site.start({"--bind", "10.77.0.1", "--home-bind", "10.77.0.2"}), qPrintable(m_site.errorString()));
        QVERIFY(m_tiny.isListening());
    }

    // A page on the site and the update's download on the home host, each
    // loaded by the engine and asked about by the program.
    void perHost_data()
    {
        QTest::addColumn<QString>("mode");           // GNOME's
        QTest::addColumn<QString>("ignore");         // ignore-hosts
        QTest::addColumn<bool>("pac");               // the PAC script's address as autoconfig-url
        QTest::addColumn<QByteArray>("environment"); // http_proxy; GNOME's proxy then listens nowhere
        QTest::addColumn<bool>("siteThrough");       // 10.77.0.1's requests through the proxy
        QTest::addColumn<bool>("homeThrough");       // 10.77.0.2's
        const QByteArray unset;
        // clang-format off
        QTest::newRow("GNOME, none") << "none" << "[]" << false << unset << false << false;
        QTest::newRow("the download's host exempt") << "manual" << "['10.77.0.2']" << false << unset << true << false;
        QTest::newRow("the site exempt") << "manual" << "['localhost', '10.77.0.1']" << false << unset << false << true;
        QTest::newRow("a PAC script") << "auto" << "[]" << true << unset << false << true;
        // The engine reads the environment's itself.
        QTest::newRow("the environment's wins") << "manual" << "[]" << false << QByteArray("http://127.0.0.1:3128") << true << true;
        // clang-format on
    }
    void perHost()
    {
        QFETCH(QString, mode);
        QFETCH(QString, ignore);
        QFETCH(bool, pac);
        QFETCH(QByteArray, environment);
        QFETCH(bool, siteThrough);
        QFETCH(bool, homeThrough);
        const QString pacUrl = QStringLiteral("http://127.0.0.1:%1/proxy.pac").arg(m_tiny.serverPort());
        QVERIFY(setGnomeProxy(mode, ignore, environment.isEmpty() ? 3128 : 3129, pac ? pacUrl : QString()));
        const qsizetype logFrom = proxyLog().size(), siteFrom = m_site.requests().size();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!environment.isEmpty())
            env.insert(QStringLiteral("http_proxy"), QString::fromLatin1(environment));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        const QString page = m_site.siteBase() + QStringLiteral("/search.php?key=%1").arg(QTest::currentDataTag());
        const QString download = m_site.homePage() + QStringLiteral("/download/ondrix-setup.bin");
        child.start(QApplication::applicationFilePath(), {QStringLiteral("--child"), page, download});
        QVERIFY(spinUntil([&] { return child.state() == QProcess::NotRunning; }, 120000));
        QCOMPARE(child.exitCode(), 0);
        const QString log = proxyLog().mid(logFrom);
        const QString served = m_site.requests().mid(siteFrom).join(u'\n');
        for (const auto &[base, through] :
             {std::pair(m_site.siteBase(), siteThrough), {m_site.homePage(), homeThrough}}) {
            QVERIFY2(log.contains(QStringLiteral("GET ") + base + u'/') == through, qPrintable(base + '\n' + log));
            QVERIFY2(log.contains(QStringLiteral("HEAD ") + base + u'/') == through, qPrintable(base + '\n' + log));
        }
        // Whichever way, they got there.
        for (const char *request :
             {"[site] GET /search.php", "[site] HEAD /search.php", "[home] GET /download/", "[home] HEAD /download/"})
            QVERIFY2(served.contains(QLatin1String(request)), qPrintable(QLatin1String(request) + '\n' + served));
    }

    // The program's question about a file at 10.77.0.2, which sends it on to
    // 10.77.0.3: each hop gets the Referer the engine would send it, and the
    // cookies of its own host as the engine would send them.
    void programRequestHops_data()
    {
        QTest::addColumn<QString>("page");            // the file page; %1 the server's port
        QTest::addColumn<QByteArray>("firstReferer"); // %1 likewise
        QTest::addColumn<QByteArray>("secondReferer");
        QTest::addColumn<QByteArray>("firstCookies"); // the third host's always none
        using B = QByteArray;
        // clang-format off
        QTest::newRow("a page of the same origin") << "http://10.77.0.2:%1/f/1.html" << B("http://10.77.0.2:%1/f/1.html") << B("http://10.77.0.2:%1/") << B("lax=1; plain=1; strict=1");
        QTest::newRow("another site's page") << "http://10.77.0.1:8365/f/1.html?k=v#top" << B("http://10.77.0.1:8365/") << B("http://10.77.0.1:8365/") << B("lax=1; plain=1");
        QTest::newRow("a page over https") << "https://10.77.0.1/f/1.html" << B() << B() << B("lax=1; plain=1");
        // clang-format on
    }
    void programRequestHops()
    {
        QFETCH(QString, page);
        QFETCH(QByteArray, firstReferer);
        QFETCH(QByteArray, secondReferer);
        QFETCH(QByteArray, firstCookies);
        const QByteArray port = QByteArray::number(m_tiny.serverPort());
        // Not every row has a port to put in.
        const auto withPort = [&port](QString text) { return text.replace(QLatin1String("%1"), QLatin1String(port)); };
        QNetworkAccessManager network;
        network.setProxy(QNetworkProxy::NoProxy);
        for (const auto &[name, policy] : {std::pair("strict", QNetworkCookie::SameSite::Strict),
                                           {"lax", QNetworkCookie::SameSite::Lax},
                                           {"plain", QNetworkCookie::SameSite::Default}}) {
            QNetworkCookie cookie(name, "1");
            cookie.setDomain(QStringLiteral("10.77.0.2"));
            cookie.setPath(QStringLiteral("/"));
            cookie.setSameSitePolicy(policy);
            network.cookieJar()->insertCookie(cookie);
        }
        ServerProbe probe(&network, {});
        m_tiny.seen.clear();
        bool done = false;
        probe.validators(QUrl(QStringLiteral("http://10.77.0.2:%1/hop").arg(port)), QUrl(withPort(page)), this,
                         [&](const ServerProbe::Validators &) { done = true; });
        QVERIFY(spinUntil([&] { return done; }));
        QCOMPARE(m_tiny.seen.size(), 2);
        QCOMPARE(m_tiny.seen[1].host, "10.77.0.3:" + port);
        QByteArrayList sent = m_tiny.seen[0].cookie.split(';');
        for (QByteArray &c : sent)
            c = c.trimmed();
        std::sort(sent.begin(), sent.end());
        QCOMPARE(sent.join("; "), firstCookies);
        QCOMPARE(m_tiny.seen[1].cookie, QByteArray());
        QCOMPARE(m_tiny.seen[0].referer, withPort(QString::fromLatin1(firstReferer)).toLatin1());
        QCOMPARE(m_tiny.seen[1].referer, withPort(QString::fromLatin1(secondReferer)).toLatin1());
    }

private:
    DemoSite m_site;
    TinyServer m_tiny;
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return engineChild(argc, argv);
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    ProxyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_proxy.moc"
