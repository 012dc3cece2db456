
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
        using L = QStringList;
        const auto plain = [](const char *html) { return QString::fromUtf8(html); };
        // clang-format off
        QTest::newRow("free entries") << entry("a1", "Qt 教程", "12.5 MB") + entry("b2", "Linux", "356 KB") << L {"0:a1:Qt 教程(12.5 MB)", "1:b2:Linux(356 KB)"};
        QTest::newRow("points before size skip, next takes the row") << entry("a", "x", "1 KB", 5) + entry("b", "y", "2 KB") << L {"-a", "0:b:y(2 KB)"};
        QTest::newRow("points in title or after size still free") << plain("<DIV><A href=\"/f/a.html\">积分 title</A></DIV>大小:1 KB | 积分:3</DIV>") << L {"0:a:积分 title(1 KB )"};
        QTest::newRow("lower-case div does not end a title") << plain("<A href=\"/f/a.html\">t</a></div>more</DIV>大小:1|") << L {"0:a:tmore(1)"};
        // Malformed shapes: the scan ends at the first incomplete entry.
        QTest::newRow("cut: no > after .html") << entry("a", "t", "1") + plain("<A href=\"/f/b.html") << L {"0:a:t(1)"};
        QTest::newRow("cut: no </DIV> after title") << entry("a", "t", "1") + plain("<A href=\"/f/b.html\">x</div>") << L {"0:a:t(1)"};
        QTest::newRow("cut: marker alone") << plain("href=\"/f/") << L {};
        // A missing size never borrows the next entry's.
        QTest::newRow("no size, next entry has one") << plain("<A href=\"/f/a.html\">t</A></DIV>no size here") + entry("b", "u", "2 KB") << L {"0:a:t()", "1:b:u(2 KB)"};
        QTest::newRow("no size, points later in own entry") << plain("<A href=\"/f/a.html\">t</A></DIV>积分:5") + entry("b", "u", "2 KB") << L {"-a", "0:b:u(2 KB)"};
        QTest::newRow("no size, last entry") << entry("a", "t", "1") + plain("<A href=\"/f/b.html\">u</A></DIV>") << L {"0:a:t(1)", "1:b:u()"};
        QTest::newRow("size without bar") << plain("<A href=\"/f/a.html\">t</A></DIV>大小:9 KB") + entry("b", "u", "2 KB") << L {"0:a:t()", "1:b:u(2 KB)"};
        // clang-format on
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

    // Tags stripped, a caption's references and hidden characters, and the
    // advertised version (the bound on passes: fuzz_htmtotxt).
    void texts_data()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("expected");
        const auto row
            = [](const char *tag, const QString &got, const char *expected) { QTest::newRow(tag) << got << expected; };
        const auto htm = [](const char *text) { return TextOps::HtmToTxt(QString::fromUtf8(text)); };
        const auto caption = [](const QString &in) { return TextOps::captionText(in); };
        const auto version = [](const char *text) {
            const auto v = TextOps::readVersion(QString::fromUtf8(text));
            return v ? QString::number(*v) : QStringLiteral("none");
        };
        // clang-format off
        row("same tag everywhere", htm("a<BR>b<BR>c<BR>"), "abc");
        row("open without close", htm("a < b"), "a < b");
        row("close without open", htm("a > b"), "a > b");
        row("close before open", htm("> x <B>y</B> <I>z"), "> x y z");
        row("entities and spaces kept", htm("  a&amp;b&nbsp; "), "  a&amp;b&nbsp; ");
        row("references once", caption(QStringLiteral("Tom &amp; Jerry &lt;1&gt; &quot;x&quot; &#39;y&#39; &amp;lt;")), "Tom & Jerry <1> \"x\" 'y' &lt;");
        row("unknown reference kept", caption(QStringLiteral("a &copy; b &amp")), "a &copy; b &amp");
        row("white space runs", caption(QStringLiteral("\r\n  a\t\tb&nbsp;&nbsp;c \n")), " a b c ");
        row("format and control", caption(QStringLiteral("in\u202Evoice\u200B\u2066x\u2069\u0007\uFEFF.txt")), "invoicex.txt");
        row("astral format, emoji kept", caption(QStringLiteral("a\U000E0041b\U0001F600")), "ab\U0001F600");
        row("reads four characters", version("2.015<newer>"), "2.01");
        row("short text read whole", version("2.5"), "2.5");
        row("spaces around", version(" 2.5\n下载"), "2.5");
        row("no version", version(""), "none");
        row("comma", version("2,02"), "none");
        row("nan", version("nan"), "none");
        // clang-format on
    }

    void texts()
    {
        QFETCH(QString, got);
        QFETCH(QString, expected);
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TextOpsTest)
#include "tst_textops.moc"
