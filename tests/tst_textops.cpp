
#include <QtTest>

#include "ResultPages.h"
#include "ResultScan.h"
#include "TextOps.h"

using ResultPages::entry;

// "id:title(size)" for accepted entries, "-id" for skipped ones.
static QStringList scanAll(const QString &page)
{
    QStringList out;
    ResultScanner scanner(page);
    int guard = 0;
    while (const auto e = scanner.next(QStringLiteral("href=\"/f/"))) {
        if (++guard > 10000)
            return {QStringLiteral("endless")};
        if (e->costsPoints)
            out << QLatin1Char('-') + e->identifier;
        else
            out << QStringLiteral("%1:%2:%3(%4)")
                       .arg(e->row)
                       .arg(e->identifier, TextOps::HtmToTxt(e->title), e->sizeText);
    }
    return out;
}

class TextOpsTest : public QObject
{
    Q_OBJECT

private slots:
    void scan_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("free entries") << entry("a1", "Qt 教程", "12.5 MB") + entry("b2", "Linux", "356 KB")
                                      << QStringList {"0:a1:Qt 教程(12.5 MB)", "1:b2:Linux(356 KB)"};
        QTest::newRow("points before size skip, next takes the row")
            << entry("a", "x", "1 KB", 5) + entry("b", "y", "2 KB") << QStringList {"-a", "0:b:y(2 KB)"};
        QTest::newRow("points in title or after size still free")
            << QStringLiteral("<DIV><A href=\"/f/a.html\">积分 title</A></DIV>大小:1 KB | 积分:3</DIV>")
            << QStringList {"0:a:积分 title(1 KB )"};
        QTest::newRow("lower-case div does not end a title")
            << QStringLiteral("<A href=\"/f/a.html\">t</a></div>more</DIV>大小:1|") << QStringList {"0:a:tmore(1)"};
        QTest::newRow("nested tags and entities")
            << entry("n", "<B>Qt</B> &amp; <I><B>C++</B></I><BR>", "3 MB") << QStringList {"0:n:Qt &amp; C++(3 MB)"};

        // Malformed shapes: the scan ends at the first incomplete entry.
        QTest::newRow("cut: no > after .html")
            << entry("a", "t", "1") + QStringLiteral("<A href=\"/f/b.html") << QStringList {"0:a:t(1)"};
        QTest::newRow("cut: no </DIV> after title")
            << entry("a", "t", "1") + QStringLiteral("<A href=\"/f/b.html\">x</div>") << QStringList {"0:a:t(1)"};
        QTest::newRow("cut: marker alone") << QStringLiteral("href=\"/f/") << QStringList {};

        // A missing size never borrows the next entry's.
        QTest::newRow("no size, next entry has one")
            << QStringLiteral("<A href=\"/f/a.html\">t</A></DIV>no size here") + entry("b", "u", "2 KB")
            << QStringList {"0:a:t()", "1:b:u(2 KB)"};
        QTest::newRow("no size, points later in own entry")
            << QStringLiteral("<A href=\"/f/a.html\">t</A></DIV>积分:5") + entry("b", "u", "2 KB")
            << QStringList {"-a", "0:b:u(2 KB)"};
        QTest::newRow("no size, last entry")
            << entry("a", "t", "1") + QStringLiteral("<A href=\"/f/b.html\">u</A></DIV>")
            << QStringList {"0:a:t(1)", "1:b:u()"};
        QTest::newRow("size without bar")
            << QStringLiteral("<A href=\"/f/a.html\">t</A></DIV>大小:9 KB") + entry("b", "u", "2 KB")
            << QStringList {"0:a:t()", "1:b:u(2 KB)"};
    }

    void scan()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, expected);
        QCOMPARE(scanAll(page), expected);
        // Between the site's pagers the same entries scan alike, unless the page
        // ends inside an incomplete entry.
        if (!QByteArray(QTest::currentDataTag()).startsWith("cut"))
            QCOMPARE(scanAll(ResultPages::page(page)), expected);
    }

    void htmToTxt_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        // clang-format off
        QTest::newRow("same tag everywhere") << "a<BR>b<BR>c<BR>" << "abc";
        QTest::newRow("open without close") << "a < b" << "a < b";
        QTest::newRow("close without open") << "a > b" << "a > b";
        QTest::newRow("close before open") << "> x <B>y</B> <I>z" << "> x y z";
        QTest::newRow("entities and spaces kept") << "  a&amp;b&nbsp; " << "  a&amp;b&nbsp; ";
        QTest::newRow("empty") << "" << "";
        // clang-format on
    }

    void htmToTxt()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        int passes = 0;
        QCOMPARE(TextOps::HtmToTxt(in, [&] { ++passes; }), out);
        QVERIFY(passes <= in.count(QLatin1Char('<')));
    }

    void captionText_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        // clang-format off
        QTest::newRow("references once") << "Tom &amp; Jerry &lt;1&gt; &quot;x&quot; &#39;y&#39; &amp;lt;"
                                         << "Tom & Jerry <1> \"x\" 'y' &lt;";
        QTest::newRow("unknown reference kept") << "a &copy; b &amp" << "a &copy; b &amp";
        QTest::newRow("white space runs") << "\r\n  a\t\tb&nbsp;&nbsp;c \n" << " a b c ";
        QTest::newRow("format and control")
            << QStringLiteral("in\u202Evoice\u200B\u2066x\u2069\u0007\uFEFF.txt") << "invoicex.txt";
        QTest::newRow("astral format, emoji kept")
            << QStringLiteral("a\U000E0041b\U0001F600") << QStringLiteral("ab\U0001F600");
        // clang-format on
    }

    void captionText()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(TextOps::captionText(in), out);
    }

    void readVersion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("version"); // -1: not a number
        QTest::newRow("2.02") << "2.02<newer>" << 2.02;
        QTest::newRow("2.015 reads four characters") << "2.015" << 2.01;
        QTest::newRow("10.5") << "10.5 最新" << 10.5;
        QTest::newRow("short text read whole") << "2.5" << 2.5;
        QTest::newRow("spaces around") << " 2.5\n下载" << 2.5;
        QTest::newRow("empty") << "" << -1.0;
        QTest::newRow("comma") << "2,02" << -1.0;
        QTest::newRow("nan") << "nan" << -1.0;
    }

    void readVersion()
    {
        QFETCH(QString, text);
        QFETCH(double, version);
        const auto v = TextOps::readVersion(text);
        if (version < 0)
            QVERIFY(!v);
        else
            QCOMPARE(v.value_or(-1), version);
    }
};

QTEST_GUILESS_MAIN(TextOpsTest)
#include "tst_textops.moc"
