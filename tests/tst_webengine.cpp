// The Qt WebEngine browser against the demo site: when DocumentComplete and
// loadFailed come, what the snapshot holds, how click-by-text clicks, and how
// a page at rest comes back.
#include <limits>
#include <memory>

#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>

#include "DemoSite.h"
#include "WebEngineBrowser.h"
#include "WebEngineSession.h"

namespace {

QString dataUrl(const QString &html)
{
    return QStringLiteral("data:text/html;charset=utf-8,") + QString::fromLatin1(QUrl::toPercentEncoding(html));
}

// The result of a script in the page, or an invalid QVariant on timeout.
QVariant evaluate(WebEngineBrowser *browser, const QString &script)
{
    QVariant result;
    bool done = false;
    browser->evaluate(script, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    (void)QTest::qWaitFor([&] { return done; }, 15000);
    return result;
}

constexpr int NotTold = std::numeric_limits<int>::min();

// The number a click-by-text reports: -2 when told inside the call, NotTold never.
int clickCount(WebEngineBrowser *browser, const QString &tagName, const QString &needle)
{
    auto clicked = std::make_shared<int>(NotTold);
    browser->clickElementsByText(tagName, needle, [clicked](int n) { *clicked = n; });
    if (*clicked != NotTold)
        return -2;
    (void)QTest::qWaitFor([&] { return *clicked != NotTold; }, 15000);
    return *clicked;
}

} // namespace

class WebEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
        m_session = std::make_unique<WebEngineSession>();
        m_session->setUrlOpener([this](const QUrl &url) { m_opened.append(url); });
    }
    void init()
    {
        m_browser = static_cast<WebEngineBrowser *>(m_session->createBrowser(this));
        m_complete = std::make_unique<QSignalSpy>(m_browser, &Browser::DocumentComplete);
        m_failed = std::make_unique<QSignalSpy>(m_browser, &Browser::loadFailed);
        m_opened.clear();
    }
    void cleanup() { delete m_browser; } // its spies stay until the next test's
    void cleanupTestCase() { m_session.reset(); }

    void serializationIsExact()
    {
        const QString body = QStringLiteral(
            "<div class=\"t\"><a href=\"/f/1.html?a=1&amp;b=2\" target=\"_blank\" title='say \"hi\" <b>'>A &amp; "
            "<b>B</b></a></div>"
            "<br><img src=\"x.png\"><input value=\"v\"><p>1 &lt; 2&nbsp;&gt;</p>"
            "<script>if (1 < 2 && true) {}</script><style>a > b {}</style><!--note--><svg viewBox=\"0 0 1 1\"></svg>");
        QVERIFY(load(dataUrl(QStringLiteral("<!DOCTYPE html><html><body>") + body + QStringLiteral("</body></html>"))));
        QCOMPARE(m_browser->bodyHtml(),
                 QStringLiteral(
                     "<DIV class=\"t\"><A href=\"/f/1.html?a=1&amp;b=2\" target=\"_blank\" title=\"say &quot;hi&quot; "
                     "&lt;b&gt;\">"
                     "A &amp; <B>B</B></A></DIV><BR><IMG src=\"x.png\"><INPUT value=\"v\"><P>1 &lt; 2&nbsp;&gt;</P>"
                     "<SCRIPT>if (1 < 2 && true) {}</SCRIPT><STYLE>a > b {}</STYLE><!--note-->"
                     "<SVG viewBox=\"0 0 1 1\"></SVG>"));
    }

    void clicksEveryMatchInDocumentOrder()
    {
        // The page spoils the main world's click and indexOf and raises an
        // alert; none of that may reach our scripts or block the page.
        const QString page
            = QStringLiteral("<!DOCTYPE html><html><body><script>"
                             "HTMLElement.prototype.click = function () { document.title += 'X'; };"
                             "String.prototype.indexOf = function () { return -1; };"
                             "alert('hidden'); confirm('hidden');</script>"
                             "<table onclick=\"document.title += 'O'\"><tr><td>hit"
                             "<table onclick=\"document.title += 'I'\"><tr><td>hit</td></tr></table></td></tr></table>"
                             "<table onclick=\"document.title += 'M'\"><tr><td>miss</td></tr></table>"
                             "<table onclick=\"document.title += 'T'\"><tr><td>HIT hit</td></tr></table>"
                             "<table onclick=\"document.title += 'Q'\"><tr><td>q\"\\'&lt;/script&gt;</td></tr></table>"
                             "</body></html>");
        QVERIFY(load(dataUrl(page)));
        QCOMPARE(clickCount(m_browser, QStringLiteral("table"), QStringLiteral("hit")), 3);
        // Outer first, then inner (whose click bubbles to the outer), then the last.
        QCOMPARE(evaluate(m_browser, QStringLiteral("document.title")).toString(), QStringLiteral("OIOT"));
        QCOMPARE(clickCount(m_browser, QStringLiteral("table"), QStringLiteral("q\"\\'</script>")), 1);
        QCOMPARE(evaluate(m_browser, QStringLiteral("document.title")).toString(), QStringLiteral("OIOTQ"));
        QCOMPARE(clickCount(m_browser, QStringLiteral("TABLE"), QStringLiteral("nowhere")), 0);
        QCOMPARE(evaluate(m_browser, QStringLiteral("document.title")).toString(), QStringLiteral("OIOTQ"));
        // A page that goes away before its script answers still reports.
        auto clicked = std::make_shared<int>(NotTold);
        m_browser->clickElementsByText(QStringLiteral("table"), QStringLiteral("hit"),
                                       [clicked](int n) { *clicked = n; });
        m_browser->releasePage();
        QTRY_VERIFY(*clicked != NotTold);
    }

    // A click on a page at rest follows the page's link: a new window's
    // address goes to the opener, the hidden page staying where it was, or
    // the next page loads. The page first comes back, unseen: the window
    // notices nothing but the click's effect. (A page never at rest:
    // tst_badinput's advert click.)
    void clickFollowsLink_data()
    {
        QTest::addColumn<QString>("page"); // "ad" or "results"
        QTest::newRow("advertised link") << "ad";
        QTest::newRow("next page") << "results";
    }
    void clickFollowsLink()
    {
        QFETCH(QString, page);
        const bool ad = page == QLatin1String("ad");
        QVERIFY(load(ad ? m_site.homePage() + QStringLiteral("/ad/365.htm")
                        : m_site.siteBase() + QStringLiteral("/search.php?key=%E6%95%99%E7%A8%8B")));
        const QString firstPage = m_browser->bodyText();
        restNow();
        QCOMPARE(m_browser->bodyText(), firstPage);
        QVERIFY(m_browser->hasDocument());
        if (ad) {
            m_browser->allowUserAction({.desktopAddresses = 1});
            QCOMPARE(clickCount(m_browser, QStringLiteral("a"), QStringLiteral("3 ")), 1);
            QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 15000);
            QCOMPARE(m_opened.first(), QUrl(m_site.homePage() + QStringLiteral("/ad/3.htm")));
        } else {
            QVERIFY(clickCount(m_browser, QStringLiteral("a"), QStringLiteral("下一页")) > 0); // top and bottom
            QVERIFY(m_complete->wait(30000));
            QVERIFY(m_browser->bodyText().contains(QStringLiteral("上一页")));
        }
        // The page brought back is no document of its own.
        QTRY_VERIFY_WITH_TIMEOUT(m_browser->isQuiet(), 15000);
        QCOMPARE(m_complete->count(), ad ? 1 : 2);
        QCOMPARE(m_opened.size(), ad ? 1 : 0);
    }

    // A page that cannot come back tells the window why, and that the click
    // found nothing; the next click tries again.
    void pageThatCannotComeBackSaysWhy()
    {
        DemoSite gone;
        QVERIFY2(gone.start(), qPrintable(gone.errorString()));
        QVERIFY(load(gone.homePage() + QStringLiteral("/ad/365.htm")));
        restNow();
        gone.stop();
        QCOMPARE(clickCount(m_browser, QStringLiteral("a"), QStringLiteral("3 ")), 0);
        QCOMPARE(clickCount(m_browser, QStringLiteral("a"), QStringLiteral("3 ")), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_browser->isQuiet(), 15000);
        QCOMPARE(m_failed->count(), 2);
        QCOMPARE(m_failed->first().first().value<LoadFailure>().kind, LoadFailure::Unreachable);
        QCOMPARE(m_complete->count(), 1);
        QVERIFY(m_browser->bodyText().startsWith(QStringLiteral("2.01")));
        QVERIFY(m_browser->isResting());
    }

    // What the user allows while the page rests is not for the scripts that
    // run as it comes back.
    void grantWaitsForThePageToBeBack()
    {
        QVERIFY(load(dataUrl(QStringLiteral(
            "<!DOCTYPE html><html><body><a href=\"/x\">x</a><script>"
            "for (var i = 0; i < 20; i++) window.open('http://127.0.0.1:1/' + i);</script></body></html>"))));
        restNow();
        m_browser->allowUserAction({.desktopAddresses = 1});
        QCOMPARE(clickCount(m_browser, QStringLiteral("a"), QStringLiteral("nowhere")), 0);
        // The click ran once the page was back: its scripts' windows were
        // asked for, and refused, before it.
        QTRY_VERIFY_WITH_TIMEOUT(m_browser->isQuiet(), 15000);
        QVERIFY(m_browser->hasOpenGrant());
        QVERIFY2(m_opened.isEmpty(), qPrintable(m_opened.value(0).toString()));
    }

    // The advertisement site keeps its own renderer process; the results and
    // file pages, both on the resource site, share one.
    void sitesKeepToTheirOwnRenderers()
    {
        const QString host = QUrl(m_site.siteBase()).host();
        QVERIFY(host != QUrl(m_site.homePage()).host());
        std::unique_ptr<Browser> results(m_session->createBrowser(nullptr, host));
        std::unique_ptr<Browser> file(m_session->createBrowser(nullptr, host));
        QSignalSpy resultsDone(results.get(), &Browser::DocumentComplete);
        QSignalSpy fileDone(file.get(), &Browser::DocumentComplete);
        m_browser->Navigate(m_site.homePage() + QStringLiteral("/ad/365.htm"));
        results->Navigate(m_site.siteBase() + QStringLiteral("/search.php?key=%E6%95%99%E7%A8%8B"));
        file->Navigate(m_site.siteBase() + QStringLiteral("/f/a1b2c3.html"));
        QTRY_VERIFY_WITH_TIMEOUT(m_complete->count() && resultsDone.count() && fileDone.count(), 30000);
        const auto pid = [](Browser *browser) { return static_cast<WebEngineBrowser *>(browser)->rendererPid(); };
        QVERIFY(pid(m_browser) > 0 && pid(results.get()) > 0 && pid(m_browser) != pid(results.get()));
        QCOMPARE(pid(file.get()), pid(results.get()));
    }

    // The Navigate that follows a preload joins it; one that ended before,
    // unheard, is started again, so that its outcome is heard; and the old
    // document is forgotten from the Navigate on.
    void navigateAfterPreload()
    {
        const QString ad = m_site.homePage() + QStringLiteral("/ad/365.htm");
        m_browser->preload(ad);
        QVERIFY(load(ad));
        QVERIFY(m_browser->bodyText().startsWith(QStringLiteral("2.01")));

        const QString dead = QStringLiteral("http://127.0.0.1:%1/ad/365.htm").arg(DemoSite::closedPort());
        m_browser->preload(dead);
        QVERIFY(m_failed->wait(30000));
        m_browser->Navigate(dead);
        QVERIFY(m_failed->wait(30000));
        // Each failure is told once: nothing is under way to tell another.
        QTRY_VERIFY_WITH_TIMEOUT(m_browser->isQuiet(), 15000);
        QCOMPARE(m_failed->count(), 2);
        QCOMPARE(m_complete->count(), 1);
        QVERIFY(!m_browser->hasDocument());
        QVERIFY(m_browser->bodyHtml().isEmpty());
    }

private:
    // Loads the address and waits for its document.
    bool load(const QString &address)
    {
        m_browser->Navigate(address);
        return m_complete->wait(30000);
    }
    void restNow()
    {
        m_browser->setRestAfter(100);
        QTRY_VERIFY_WITH_TIMEOUT(m_browser->isResting(), 10000);
        QCOMPARE(m_browser->rendererPid(), 0);
    }

    DemoSite m_site;
    std::unique_ptr<WebEngineSession> m_session;
    WebEngineBrowser *m_browser = nullptr;
    std::unique_ptr<QSignalSpy> m_complete;
    std::unique_ptr<QSignalSpy> m_failed;
    QList<QUrl> m_opened;
};

int main(int argc, char **argv)
{
    WebEngineSession::prepareApplication();
    QGuiApplication app(argc, argv);
    WebEngineTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webengine.moc"
