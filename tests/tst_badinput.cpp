// Broken, huge, slow and endless pages from the demo site (--hostile) through
// the real engine: the window must neither crash nor freeze, and every search
// must end in rows, no rows or the failure text.
#include <memory>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "Browser.h"
#include "ClickLabel.h"
#include "DemoSite.h"
#include "RealWindow.h"
#include "DownloadManager.h"
#include "Form1.h"
#include "ResultScan.h"
#include "SharedState.h"
#include "WebEngineSession.h"

enum class Outcome { Rows, NoRows, Failed };
Q_DECLARE_METATYPE(Outcome)
// For the pages that never complete; the others keep the window's own deadline,
// since a 10 MB page takes seconds to load and read on a small machine.
static constexpr int ShortDeadlineMs = 4000;

class BadInputTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(site.start({QStringLiteral("--hostile")}), qPrintable(site.errorString())); }
    void init();
    void cleanup();
    void search_data();
    void search();
    void brokenDownloads();
    void scanWithoutSizesIsLinear();

private:
    // Types the key, presses Enter and waits until the scan has returned or
    // the failure text shows; the longest stall of the event loop goes to maxGap.
    bool runSearch(const QString &key, qint64 *maxGap = nullptr);
    int visibleRows() const;
    QStringList listIds() const;
    QStringList freeIdsOnPage(const QByteArray &key) const;
    QStringList folder() const { return QDir(downloads->path()).entryList(QDir::Files | QDir::Hidden); }

    DemoSite site;
    std::unique_ptr<QTemporaryDir> downloads;
    std::unique_ptr<WebEngineSession> session;
    std::unique_ptr<Form1> form;
    bool scanned = false;
};

void BadInputTest::init()
{
    downloads = std::make_unique<QTemporaryDir>();
    session = std::make_unique<WebEngineSession>();
    session->downloads()->setDownloadDirectory(downloads->path());
    session->downloads()->setWidgetsVisible(false);
    session->setUrlOpener([](const QUrl &) {});
    pointAt(site.siteBase(), site.homePage());
    form = realWindow(*session);
    // Connected after the window's own handler, so this runs once its scan returned.
    connect(form->W1, &Browser::DocumentComplete, this, [this] { scanned = true; });
    form->Form_Load();
    form->show();
}

void BadInputTest::cleanup()
{
    form.reset();
    session.reset();
}

bool BadInputTest::runSearch(const QString &key, qint64 *maxGap)
{
    QElapsedTimer clock;
    qint64 last = 0, gap = 0;
    QTimer ticker;
    ticker.setInterval(50);
    connect(&ticker, &QTimer::timeout, this, [&] {
        gap = qMax(gap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    scanned = false;
    form->Text1->setText(key);
    clock.start();
    ticker.start();
    QTest::keyClick(form->Text1, Qt::Key_Return);
    const bool ended = spinUntil([&] { return scanned || form->Label8->caption() == Form1::searchFailedText(); }, 60000);
    if (maxGap)
        *maxGap = qMax(gap, clock.elapsed() - last);
    return ended;
}

int BadInputTest::visibleRows() const
{
    return int(std::count_if(form->Picture1.begin(), form->Picture1.end(), [](QWidget *w) { return w->isVisible(); }));
}

QStringList BadInputTest::listIds() const
{
    QStringList out;
    for (int i = 0; i < form->List1->count(); ++i)
        out << form->List1->item(i)->text();
    return out;
}

// The ids of entries without points, read from the page's own bytes.
QStringList BadInputTest::freeIdsOnPage(const QByteArray &key) const
{
    const DemoReply r = DemoSite::get(site.siteBase(), "/search.php?key=" + key);
    static const QRegularExpression entry(QStringLiteral(R"(<a href="/f/(\w+)\.html"[^>]*>.*?</a></div><div class="m">(<span)?)"));
    QStringList ids;
    for (auto it = entry.globalMatch(QString::fromUtf8(r.body)); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(2).isEmpty())
            ids << m.captured(1);
    }
    return ids;
}

void BadInputTest::search_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("empty body") << QStringLiteral("__empty") << Outcome::NoRows;
    QTest::newRow("10 MB page") << QStringLiteral("__huge") << Outcome::Rows;
    QTest::newRow("random bytes") << QStringLiteral("__binary") << Outcome::NoRows;
    QTest::newRow("6000 levels deep") << QStringLiteral("__nested") << Outcome::Rows;
    QTest::newRow("10000 entries") << QStringLiteral("__many") << Outcome::Rows;
    QTest::newRow("no .html after markers") << QStringLiteral("__nohtml") << Outcome::NoRows;
    QTest::newRow("no sizes, 2 MB") << QStringLiteral("__nosize") << Outcome::Rows;
    QTest::newRow("one byte a second") << QStringLiteral("__slow") << Outcome::Failed;
    QTest::newRow("cut mid-page") << QStringLiteral("__cut") << Outcome::Failed;
}

void BadInputTest::search()
{
    QFETCH(QString, key);
    QFETCH(Outcome, outcome);
    if (outcome == Outcome::Failed)
        form->setResultsDeadline(ShortDeadlineMs);
    QVERIFY(spinUntil([&] { return form->W3->hasDocument(); }, 30000));
    qint64 gap = 0;
    QElapsedTimer took;
    took.start();
    QVERIFY2(runSearch(key, &gap), "the search never ended");
    qInfo("%s: %lld ms, longest stall %lld ms, %d ids", qPrintable(key), took.elapsed(), gap, int(form->List1->count()));
    QVERIFY2(gap < 1000, qPrintable(QStringLiteral("the window stalled %1 ms").arg(gap)));

    switch (outcome) {
    case Outcome::Rows: {
        const QStringList expected = freeIdsOnPage(key.toUtf8());
        QVERIFY(expected.size() > 10);
        QCOMPARE(listIds(), expected);
        QCOMPARE(visibleRows(), 10);
        QVERIFY(!form->Label8->isVisible());
        QVERIFY(form->Label3[9]->caption().endsWith(QLatin1Char(')')));
        break;
    }
    case Outcome::NoRows:
        QCOMPARE(form->List1->count(), 0);
        QCOMPARE(visibleRows(), 0);
        QVERIFY(!form->Label8->isVisible());
        break;
    case Outcome::Failed:
        QVERIFY(took.elapsed() < ShortDeadlineMs + 5000);
        QCOMPARE(form->Label8->caption(), Form1::searchFailedText());
        QVERIFY(form->Label8->isVisible());
        QVERIFY(!form->Timer1->isActive());
        QCOMPARE(visibleRows(), 0);
        break;
    }

    // Neither the window nor the site is left broken: an ordinary search works.
    QVERIFY(runSearch(QStringLiteral("Qt")));
    const QStringList normal = freeIdsOnPage("Qt");
    QVERIFY(!normal.isEmpty());
    QCOMPARE(listIds(), normal);
    QCOMPARE(visibleRows(), int(normal.size()));
    QVERIFY(!form->Label8->isVisible());
}

void BadInputTest::brokenDownloads()
{
    QVERIFY(runSearch(QStringLiteral("__files")));
    QCOMPARE(listIds(), (QStringList {QStringLiteral("__404"), QStringLiteral("__endless")}));
    QSignalSpy started(session->downloads(), &DownloadManager::downloadStarted);

    // A "0分" table leading to a 404 page: no download, no file.
    QSignalSpy pages(form->W2, &Browser::DocumentComplete);
    QSignalSpy failed(form->W2, &Browser::loadFailed);
    QTest::mouseClick(form->Label3[0], Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(pages.size() >= 2 || failed.size() >= 1, 30000);
    QTest::qWait(1000);
    QCOMPARE(started.size(), 0);
    QCOMPARE(folder(), QStringList());

    // A download that never ends: it starts, and cancelling leaves nothing.
    QTest::mouseClick(form->Label3[1], Qt::LeftButton);
    QVERIFY(started.wait(30000));
    QTRY_VERIFY_WITH_TIMEOUT(!folder().isEmpty(), 10000);
    QTest::qWait(500);
    QVERIFY(session->downloads()->hasRunningDownloads());
    session->downloads()->cancelAll();
    QVERIFY(!session->downloads()->hasRunningDownloads());
    QTRY_COMPARE_WITH_TIMEOUT(folder(), QStringList(), 10000);
    QTest::qWait(1500);
    QCOMPARE(folder(), QStringList());
}

// Entries without "大小:" once made every entry search the rest of the page
// for it: minutes for a few MB.
void BadInputTest::scanWithoutSizesIsLinear()
{
    QString page;
    for (int i = 0; i < 40000; ++i)
        page += QStringLiteral("<DIV><A href=\"/f/id%1.html\">title %1</A></DIV><DIV>下载:7</DIV>\n").arg(i);
    QElapsedTimer took;
    took.start();
    ResultScanner scanner(page);
    int entries = 0;
    while (scanner.next(QStringLiteral("href=\"/f/")))
        ++entries;
    QCOMPARE(entries, 40000);
    QVERIFY2(took.elapsed() < 3000, qPrintable(QStringLiteral("scan took %1 ms").arg(took.elapsed())));
}

QTEST_MAIN(BadInputTest)
#include "tst_badinput.moc"
