// The demo site is what the client's scraper and downloader run against, so
// these checks pin down the markup and bytes they rely on.
#include "DemoSite.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <QtTest>

#include <algorithm>

struct CatEntry {
    QString id, title;
    int points = 0;
    qint64 bytes = 0;
};

class TestDemoSite : public QObject
{
    Q_OBJECT

    DemoSite m_site;
    QList<CatEntry> m_cat;

    // Ids the server should return for `key`, in catalogue order.
    QStringList matching(const QString &key) const
    {
        QStringList ids;
        for (const auto &e : m_cat) {
            if (e.title.contains(key, Qt::CaseInsensitive))
                ids << e.id;
        }
        return ids;
    }
    const CatEntry *entry(const QString &id) const
    {
        for (const auto &e : m_cat) {
            if (e.id == id)
                return &e;
        }
        return nullptr;
    }
    DemoReply site(const QByteArray &target, const QByteArray &method = "GET") const
    {
        return DemoSite::get(m_site.siteBase(), target, method);
    }
    static QByteArray search(const QString &key, int page)
    {
        return "/search.php?key=" + QUrl::toPercentEncoding(key) + "&page=" + QByteArray::number(page);
    }
    static QStringList itemIds(const QByteArray &body)
    {
        QStringList ids;
        static const QRegularExpression re(QStringLiteral(R"(<div class="item"><div class="t"><a href="/f/(\w+)\.html" target="_blank">)"));
        for (auto it = re.globalMatch(QString::fromUtf8(body)); it.hasNext();)
            ids << it.next().captured(1);
        return ids;
    }

private slots:
    void initTestCase()
    {
        QFile f(QStringLiteral(ONDRIX_DEMO_CATALOGUE));
        QVERIFY(f.open(QIODevice::ReadOnly));
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> p = line.split('\t');
            if (p.size() == 5 && !line.startsWith('#'))
                m_cat.append({QString::fromUtf8(p[0]), QString::fromUtf8(p[1]), p[3].toInt(), p[4].toLongLong()});
        }
        QVERIFY(m_cat.size() >= 90);
        QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
        QVERIFY(m_site.siteBase().startsWith(QLatin1String("http://127.0.0.1:")));
        QVERIFY(m_site.homePage().startsWith(QLatin1String("http://127.0.0.1:")));
    }

    void takenPortIsRefused()
    {
        // A second server on a taken port must fail, not share the port.
        const int port = QUrl(m_site.siteBase()).port();
        QVERIFY(port > 0);
        DemoSite second;
        QVERIFY(!second.start({QStringLiteral("--site-port"), QString::number(port)}));
    }

    void searchLayout_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("chinese") << QStringLiteral("教程");
        QTest::newRow("ascii, other case") << QStringLiteral("lInUx");
        QTest::newRow("few hits") << QStringLiteral("壁纸");
    }
    void searchLayout()
    {
        QFETCH(QString, key);
        const DemoReply r = site(search(key, 1));
        QCOMPARE(r.status, 200);
        QVERIFY(r.header("Content-Type").contains("charset=utf-8"));
        QVERIFY(r.body.contains("<meta charset=\"utf-8\">"));
        QVERIFY(!r.body.contains("0分"));
        const QStringList expected = matching(key).mid(0, 10);
        QCOMPARE(itemIds(r.body), expected);
        const QList<QByteArray> items = r.body.split('\n');
        for (const QString &id : expected) {
            const QByteArray marker = "<a href=\"/f/" + id.toUtf8() + ".html\"";
            const auto line = std::find_if(items.begin(), items.end(), [&](const QByteArray &l) { return l.contains(marker); });
            QVERIFY(line != items.end());
            QVERIFY(line->contains("<b>") && line->contains("大小:") && line->contains("|下载:"));
            QCOMPARE(line->contains("积分"), entry(id)->points > 0);
        }
    }

    void paging_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("prev");
        QTest::addColumn<bool>("next");
        QTest::newRow("first") << 1 << false << true;
        QTest::newRow("middle") << 2 << true << true;
        QTest::newRow("last") << 3 << true << false;
        QTest::newRow("past the end") << 4 << false << false;
    }
    void paging()
    {
        QFETCH(int, page);
        QFETCH(bool, prev);
        QFETCH(bool, next);
        const QString key = QStringLiteral("教程");
        QCOMPARE((matching(key).size() + 9) / 10, 3); // the rows above assume three pages
        const DemoReply r = site(search(key, page));
        QCOMPARE(r.status, 200);
        QCOMPARE(r.body.count("上一页"), prev ? 2 : 0);
        QCOMPARE(r.body.count("下一页"), next ? 2 : 0);
        if (next)
            QVERIFY(r.body.contains("<a href=\"" + search(key, page + 1) + "\">下一页</a>"));
        QCOMPARE(itemIds(r.body), matching(key).mid((page - 1) * 10, 10));
    }

    void specialKeys_data()
    {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("snippet");
        QTest::newRow("hash") << QByteArray("C%23") << QStringLiteral("C#") << QByteArray("<b>C#</b> 桌面");
        QTest::newRow("percent") << QByteArray("100%25") << QStringLiteral("100%") << QByteArray("<b>100%</b> Clean");
        QTest::newRow("plus") << QByteArray("C%2B%2B") << QStringLiteral("C++") << QByteArray("<b>C++</b> Primer");
        QTest::newRow("ampersand, plus as space") << QByteArray("Tom+%26+Jerry") << QStringLiteral("Tom & Jerry")
                                                  << QByteArray("<b>Tom &amp; Jerry</b> Cartoon");
        QTest::newRow("angle brackets") << QByteArray("%3CT%3E") << QStringLiteral("<T>") << QByteArray("Vector<b>&lt;T&gt;</b>");
    }
    void specialKeys()
    {
        QFETCH(QByteArray, encoded);
        QFETCH(QString, key);
        QFETCH(QByteArray, snippet);
        const DemoReply r = site("/search.php?key=" + encoded);
        QCOMPARE(r.status, 200);
        QVERIFY(!matching(key).isEmpty());
        QCOMPARE(itemIds(r.body), matching(key));
        QVERIFY2(r.body.contains(snippet), r.body.constData());
    }

    void filePage_data()
    {
        QTest::addColumn<QString>("id");
        for (const auto &e : m_cat.mid(0, 5))
            QTest::newRow(qPrintable(e.id)) << e.id;
    }
    void filePage()
    {
        QFETCH(QString, id);
        const DemoReply r = site("/f/" + id.toUtf8() + ".html");
        QCOMPARE(r.status, 200);
        QVERIFY(r.body.contains("<iframe src=\"/frame/side.html\">"));
        QCOMPARE(r.body.count("0分"), 1);
        const qsizetype table = r.body.indexOf("<table class=\"dl\" onclick=\"location.href='/d/" + id.toUtf8() + "'\"");
        QVERIFY(table > 0);
        const qsizetype zero = r.body.indexOf("0分");
        QVERIFY(zero > table && zero < r.body.indexOf("</table>", table));
        const DemoReply frame = site("/frame/side.html");
        QCOMPARE(frame.status, 200);
        QVERIFY(!frame.body.contains("0分"));
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

    void homeSite_data()
    {
        QTest::addColumn<QString>("version");
        QTest::newRow("default") << QString();
        QTest::newRow("newer") << QStringLiteral("2.02");
    }
    void homeSite()
    {
        QFETCH(QString, version);
        DemoSite own;
        if (!version.isEmpty())
            QVERIFY2(own.start({QStringLiteral("--version"), version}), qPrintable(own.errorString()));
        const QString home = version.isEmpty() ? m_site.homePage() : own.homePage();
        const QByteArray v = version.isEmpty() ? QByteArray("2.01") : version.toUtf8();

        QCOMPARE(DemoSite::get(home, "/").status, 200);
        const DemoReply ad = DemoSite::get(home, "/ad/365.htm");
        QCOMPARE(ad.status, 200);
        QVERIFY(ad.body.contains("<body>" + v + "<br>"));
        // Body text: the version first, then only the ten ad digits and "365".
        QString text = QString::fromUtf8(ad.body.mid(ad.body.indexOf("<body>")));
        text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        QVERIFY(text.startsWith(QString::fromUtf8(v)));
        text.remove(0, v.size()).remove(QRegularExpression(QStringLiteral("\\D")));
        QCOMPARE(text, QStringLiteral("0123456789365"));
        QCOMPARE(DemoSite::get(home, "/ad/7.htm").status, 200);

        const DemoReply setup = DemoSite::get(home, "/download/ondrix-setup.bin");
        QCOMPARE(setup.status, 200);
        QCOMPARE(setup.body.size(), 200 * 1024);
        QVERIFY(setup.header("Content-Disposition").contains("filename=\"ondrix-setup-" + v + ".bin\""));
    }
};

QTEST_GUILESS_MAIN(TestDemoSite)
#include "tst_demosite.moc"
