// The desktop's proxy as a GNOME user sets it (GNOME Settings, stored by
// gsettings): the pages and the program's own requests go through it; a
// proxy of the environment wins; none configured changes nothing. Runs in
// the session tests/desktop/proxy-session.sh makes.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "ClickLabel.h"
#include "DemoSite.h"
#include "DownloadManager.h"
#include "Form1.h"
#include "Module1.h"
#include "RealWindow.h"
#include "SharedState.h"
#include "WebEngineSession.h"

namespace {

bool gsettings(const QStringList &args)
{
    return QProcess::execute(QStringLiteral("gsettings"), args) == 0;
}

// GNOME's proxy settings: manual, at the logging proxy, for every host.
bool setGnomeProxy(bool manual)
{
    const QString proxy = QStringLiteral("org.gnome.system.proxy");
    const QString http = QStringLiteral("org.gnome.system.proxy.http");
    return gsettings({QStringLiteral("set"), proxy, QStringLiteral("mode"), manual ? "manual" : "none"})
           && gsettings({QStringLiteral("set"), proxy, QStringLiteral("ignore-hosts"), QStringLiteral("[]")})
           && gsettings({QStringLiteral("set"), http, QStringLiteral("host"), QStringLiteral("127.0.0.1")})
           && gsettings({QStringLiteral("set"), http, QStringLiteral("port"), QStringLiteral("3128")});
}

QString proxyLog()
{
    QFile log(qEnvironmentVariable("ONDRIX_PROXY_LOG"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLatin1(log.readAll()) : QString();
}

} // namespace

class ProxyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!qEnvironmentVariableIsEmpty("ONDRIX_PROXY_LOG"), "run by proxy-session.sh"); }

    // The search, a file page, its download and the program's own question
    // to the download's server all go through GNOME's proxy.
    void searchAndDownloadGoThrough()
    {
        QVERIFY(setGnomeProxy(true));
        DemoSite site;
        QVERIFY2(site.start({QStringLiteral("--bind"), QStringLiteral("10.77.0.1"), QStringLiteral("--home-bind"),
                             QStringLiteral("10.77.0.2")}),
                 qPrintable(site.errorString()));
        resetShared(site.siteBase(), site.homePage());
        Module1::followDesktopProxy(QUrl(site.siteBase()));
        QCOMPARE(QNetworkProxy::applicationProxy().port(), quint16(3128));
        QTemporaryDir folder;
        WebEngineSession session;
        session.downloads()->folder().setPath(folder.path());
        const auto form = realWindow(session);
        form->show();
        form->Text1->setText(QStringLiteral("教程"));
        QTest::keyClick(form->Text1, Qt::Key_Return);
        QVERIFY(spinUntil([&] { return !form->Timer1->isActive() && form->List1->count() > 0; }));
        QSignalSpy finished(session.downloads(), &DownloadManager::downloadFinished);
        QTest::mouseClick(form->Label3[0], Qt::LeftButton);
        QVERIFY(spinUntil([&] { return !finished.isEmpty(); }, 60000));
        QVERIFY(finished.first().at(1).toBool());
        QVERIFY(spinUntil([] { return proxyLog().contains(QLatin1String("HEAD ")); }, 10000));
        const QString log = proxyLog();
        for (const QString &request : {QStringLiteral("GET %1/search.php?key="), QStringLiteral("GET %1/f/"),
                                       QStringLiteral("GET %1/d/"), QStringLiteral("HEAD %1/d/")})
            QVERIFY2(log.contains(request.arg(site.siteBase())), qPrintable(request.arg(site.siteBase()) + '\n' + log));
    }

    void followed_data()
    {
        QTest::addColumn<bool>("manual");            // GNOME's mode
        QTest::addColumn<QByteArray>("environment"); // http_proxy
        QTest::addColumn<int>("port");               // of the application's proxy; 0: none set
        QTest::newRow("GNOME, none") << false << QByteArray() << 0;
        // The engine reads the environment's itself, which wins.
        QTest::newRow("the environment's wins") << true << QByteArray("http://127.0.0.1:3129") << 0;
    }
    void followed()
    {
        QFETCH(bool, manual);
        QFETCH(QByteArray, environment);
        QFETCH(int, port);
        QVERIFY(setGnomeProxy(manual));
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        if (!environment.isEmpty())
            qputenv("http_proxy", environment);
        Module1::followDesktopProxy(QUrl(QStringLiteral("http://10.77.0.1:8365")));
        qunsetenv("http_proxy");
        const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
        QCOMPARE(int(proxy.type()), port ? int(QNetworkProxy::HttpProxy) : int(QNetworkProxy::NoProxy));
        QCOMPARE(int(proxy.port()), port);
    }
};

int main(int argc, char **argv)
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    ProxyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_proxy.moc"
