// The demo site's own faults: a taken port, bad requests, and the exact bytes
// and names of its downloads. Its markup is checked through the window by the
// short soak run, which compares every page's rows with the site's.
#include <algorithm>

#include <QFile>
#include <QUrl>
#include <QtTest>

#include "DemoSite.h"

struct CatEntry
{
    QString id, title;
    qint64 bytes = 0;
};

class DemoSiteTest : public QObject
{
    Q_OBJECT

    DemoSite m_site;
    QList<CatEntry> m_cat;

    DemoReply site(const QByteArray &target, const QByteArray &method = "GET") const
    {
        return DemoSite::get(m_site.siteBase(), target, method);
    }

private slots:
    void initTestCase()
    {
        QFile f(QStringLiteral(ONDRIX_DEMO_CATALOGUE));
        QVERIFY(f.open(QIODevice::ReadOnly));
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> p = line.split('\t');
            if (p.size() == 5 && !line.startsWith('#'))
                m_cat.append({QString::fromUtf8(p[0]), QString::fromUtf8(p[1]), p[4].toLongLong()});
        }
        QVERIFY(m_cat.size() >= 90);
        QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
    }

    void takenPortIsRefused()
    {
        // A second server on a taken port must fail, not share the port.
        const int port = QUrl(m_site.siteBase()).port();
        QVERIFY(port > 0);
        DemoSite second;
        QVERIFY(!second.start({QStringLiteral("--site-port"), QString::number(port)}));
    }

    void download()
    {
        for (const auto &e : {m_cat.first(), *std::find_if(m_cat.begin(), m_cat.end(), [](const CatEntry &c) {
                                  return c.title.startsWith(QLatin1String("Photo Editor"));
                              })}) {
            const DemoReply r = site("/d/" + e.id.toUtf8());
            QCOMPARE(r.status, 200);
            QCOMPARE(r.header("Content-Type"), QByteArray("application/octet-stream"));
            QCOMPARE(r.body.size(), e.bytes);
            QVERIFY(r.body == DemoSite::fileBytes(e.id));
            QVERIFY(r.header("Content-Disposition").startsWith("attachment; filename=\""));
            QVERIFY(r.header("Content-Disposition").endsWith("filename*=UTF-8''" + QUrl::toPercentEncoding(e.title + ".zip")));
            const DemoReply head = site("/d/" + e.id.toUtf8(), "HEAD");
            QCOMPARE(head.status, 200);
            QCOMPARE(head.header("Content-Length").toLongLong(), e.bytes);
            QVERIFY(head.body.isEmpty());
        }
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
        QCOMPARE(site(target).status, status);
        QCOMPARE(site("/").status, 200);
    }

};

QTEST_GUILESS_MAIN(DemoSiteTest)
#include "tst_demosite.moc"
