// The demo site's own faults: a taken port and bad requests. Its markup is
// checked through the window by the short soak run, which compares every
// page's rows with the site's, and its downloads by tst_downloads.
#include <QUrl>
#include <QtTest>

#include "DemoSite.h"

class DemoSiteTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(m_site.start(), qPrintable(m_site.errorString())); }

    void takenPortIsRefused()
    {
        // A second server on a taken port must fail, not share the port.
        const int port = QUrl(m_site.siteBase()).port();
        QVERIFY(port > 0);
        DemoSite second;
        QVERIFY(!second.start({QStringLiteral("--site-port"), QString::number(port)}));
    }

    void badRequests_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("status");
        QTest::newRow("unknown file page") << QByteArray("/f/nosuchid.html") << 404;
        QTest::newRow("unknown download") << QByteArray("/d/nosuchid") << 404;
        QTest::newRow("key not UTF-8") << QByteArray("/search.php?key=%FF") << 400;
        QTest::newRow("no key") << QByteArray("/search.php") << 400;
        QTest::newRow("bad page") << QByteArray("/search.php?key=a&page=x") << 400;
        QTest::newRow("unknown path") << QByteArray("/nowhere") << 404;
    }
    void badRequests()
    {
        QFETCH(QByteArray, target);
        QFETCH(int, status);
        QCOMPARE(DemoSite::get(m_site.siteBase(), target).status, status);
        QCOMPARE(DemoSite::get(m_site.siteBase(), "/").status, 200);
    }

private:
    DemoSite m_site;
};

QTEST_GUILESS_MAIN(DemoSiteTest)
#include "tst_demosite.moc"
