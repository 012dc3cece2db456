// Broken, huge, slow and endless pages from the demo site (--hostile) through
// the real engine: the window must neither crash nor freeze, and every search
// must end in rows, no rows or the failure text.
#include <memory>

#include <QDesktopServices>
#include <QLineEdit>
#include <QtTest>

#include "Browser.h"
#include "ClickLabel.h"
#include "DemoSite.h"
#include "DesktopWatch.h"
#include "DownloadManager.h"
#include "DownloadWatch.h"
#include "Form1.h"
#include "RealWindow.h"
#include "SharedState.h"
#include "WebEngineBrowser.h"
#include "WebEngineSession.h"

// For the pages that never complete; the others get far longer than the
// window's own, since a 10 MB page takes tens of seconds to load and read on
// a small, busy machine.
static constexpr int ShortDeadlineMs = 4000;
static constexpr int LongDeadlineMs = 150000;
static const QString NoAnswerText = Form1::searchFailedText({LoadFailure::NoAnswer, 0});
static const QString NothingFreeText = Form1::nothingFreeText(0);

class BadInputTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(site.start({QStringLiteral("--hostile")}), qPrintable(site.errorString()));
        QVERIFY2(gbkSite.start({QStringLiteral("--encoding"), QStringLiteral("gbk")}),
                 qPrintable(gbkSite.errorString()));
        QVERIFY2(slowSite.start({QStringLiteral("--encoding"), QStringLiteral("gbk"),
                                 QStringLiteral("--file-page-delay"), QString::number(SlowFilePageMs)}),
                 qPrintable(slowSite.errorString()));
    }
    void init()
    {
        // Qt's network replies and texts used as Qt means them.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QNetworkReply|QString::arg")));
        downloads = std::make_unique<QTemporaryDir>();
        session = std::make_unique<WebEngineSession>();
        session->downloads()->folder().setPath(downloads->path());
        resetShared(site.siteBase(), site.homePage());
        form = realWindow(*session);
        // Connected after the window's own handler, so this runs once its scan returned.
        connect(form->W1, &Browser::DocumentComplete, this, [this] { scanned = true; });
        form->Form_Load();
        form->show();
    }

    void cleanup()
    {
        // Cancelled downloads wind down in the engine's threads: the profile
        // goes once the engine has removed their files.
        session->downloads()->cancelAll();
        const QRegularExpression partial(QStringLiteral("\\.part(\\.download)?$"));
        spinUntil([&] { return folder().filter(partial).isEmpty(); }, 15000);
        form.reset();
        session.reset();
    }

    void search_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("said"); // by the progress text; none: rows
        const QString rows;
        // clang-format off
        QTest::newRow("empty body") << "__empty" << NothingFreeText;
        QTest::newRow("10 MB page") << "__huge" << rows;
        QTest::newRow("random bytes") << "__binary" << NothingFreeText;
        QTest::newRow("6000 levels deep") << "__nested" << rows;
        QTest::newRow("10000 entries") << "__many" << rows;
        QTest::newRow("no .html after markers") << "__nohtml" << NothingFreeText;
        QTest::newRow("no sizes, 2 MB") << "__nosize" << rows;
        QTest::newRow("80,000 distinct tags in a title") << "__tags" << rows;
        QTest::newRow("one byte a second") << "__slow" << NoAnswerText;
        QTest::newRow("cut mid-page") << "__cut" << NoAnswerText;
        // Only a connection that could not be made blames the network.
        QTest::newRow("connection refused") << "refused" << "搜索失败，请检查网络后重试";
        QTest::newRow("500") << "__error" << "网站出错（HTTP 500），请稍后再试";
        QTest::newRow("503 服务器繁忙") << "__busy" << "网站繁忙（HTTP 503），请稍后再试";
        QTest::newRow("connected, never answers") << "__stall" << NoAnswerText;
        // clang-format on
    }

    void search()
    {
        QFETCH(QString, key);
        QFETCH(QString, said);
        // Only a failure gets the short deadline.
        const bool rows = said.isEmpty();
        form->setResultsDeadline(rows || said == NothingFreeText ? LongDeadlineMs : ShortDeadlineMs);
        QVERIFY(spinUntil([&] { return form->W3->hasDocument(); }, 30000));
        // A site where nothing listens.
        if (key == QLatin1String("refused"))
            resetShared(QStringLiteral("http://127.0.0.1:%1").arg(DemoSite::closedPort()), site.homePage());
        QVERIFY2(runSearch(key), "the search never ended");
        resetShared(site.siteBase(), site.homePage());

        if (rows) {
            showsFreeRows(key.toUtf8());
        } else {
            QCOMPARE(form->Label8->caption(), said);
            QVERIFY(form->Label8->isVisible());
            QCOMPARE(visibleRows(), 0);
            QCOMPARE(form->List1->count(), 0);
        }

        // Neither the window nor the site is left broken: an ordinary search works.
        QVERIFY(runSearch(QStringLiteral("Qt")));
        showsFreeRows("Qt");
    }

    void pagesActOnlyForTheUser_data()
    {
        QTest::addColumn<QString>("action"); // ad: W3 loads the page; advert: and its second row is clicked;
                                             // file: a result row for the id is clicked (for each of
                                             // "a|b", in turn); search: Enter on the key
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("files"); // the download folder afterwards
        QTest::addColumn<int>("desktopCalls");
        QTest::addColumn<QString>("reason");  // part of the failure the user is told, if any
        QTest::addColumn<int>("w2Documents"); // file pages completed, -1: any

        const QStringList none;
        // clang-format off
        QTest::newRow("advertisement page acting alone") << "ad" << "/h/self.html" << none << 0 << "" << -1;
        QTest::newRow("results page acting alone") << "search" << "__self" << none << 0 << "" << -1;
        QTest::newRow("advert click opening nothing, then a window and a download") << "advert" << "/h/later.html" << QStringList {"file"} << 0 << "" << 0;
        QTest::newRow("advert click: schemes, window storm, two downloads") << "advert" << "/h/storm.html" << QStringList {"ad-[12].bin"} << 1 << "" << -1;
        QTest::newRow("a terabyte announced") << "file" << "__huge" << none << 0 << "磁盘空间不足" << 1;
        QTest::newRow("600,000-character name") << "file" << "__longname" << QStringList {"*.bin"} << 0 << "" << 1;
        QTest::newRow("spoofing name, second download") << "file" << "__spoof" << QStringList {"invoicetxt.desktop.txt"} << 0 << "" << 1;
        QTest::newRow("zero-point table reloads the page") << "file" << "__reload" << none << 0 << "" << 4; // the fourth is not clicked
        QTest::newRow("zero-point table leads to another host's page") << "file" << "__offsite" << none << 0 << "" << 1;
        QTest::newRow("another host's frame downloads after the click") << "file" << "__adframe" << QStringList {"file"} << 0 << "" << 1;
        QTest::newRow("zero-point table opens another host's page") << "file" << "__offwindow" << QStringList {"file"} << 0 << "" << 1;
        // The same browser serves the next click while the page before acts.
        QTest::newRow("a page done with its click acts as the next one loads") << "file" << "__late|__next" << QStringList {"next.bin"} << 0 << "" << 2;
        QTest::newRow("same address requested every 100 ms") << "file" << "__repeat" << QStringList {"endless.bin.part", "endless.bin.part.download"} << 0 << "" << 1;
        // A disk that fills up and a folder that cannot be written: tst_downloads' transfers and retryComesFromItsFilePage.
        QTest::newRow("redirect to another host") << "search" << "__away" << none << 0 << "" << -1;
        QTest::newRow("redirect to an unknown scheme") << "search" << "__scheme" << none << 0 << "" << -1;
        // clang-format on
    }

    void pagesActOnlyForTheUser()
    {
        QFETCH(QString, action);
        QFETCH(QString, target);
        QFETCH(QStringList, files);
        QFETCH(int, desktopCalls);
        QFETCH(QString, reason);
        QFETCH(int, w2Documents);

        DesktopWatch desktop;
        session->setUrlOpener([](const QUrl &url) { QDesktopServices::openUrl(url); });
        const DownloadWatch watch(session->downloads());
        QSignalSpy filePages(form->W2, &Browser::DocumentComplete);
        QVERIFY(act(action, target));
        // Nothing more can come once the files the row expects stand as they
        // will, the refusal it expects is told, the file pages it expects
        // have come, and no page has a load or a click under way, nor a grant
        // left to spend (a file page may keep its grant: one that reloads
        // itself leaves its last document unclicked).
        spinUntil(
            [&] {
                return named(folder(), files) == files && desktop.opened.size() >= desktopCalls
                       && watch.reasons().size() >= (reason.isEmpty() ? 0 : 1) && filePages.size() >= w2Documents
                       && pagesDone(w2Documents >= 0);
            },
            60000);

        QCOMPARE(named(folder(), files), files);
        QCOMPARE(desktop.opened.size(), desktopCalls);
        for (const QUrl &url : std::as_const(desktop.opened))
            QCOMPARE(url.scheme(), QStringLiteral("http"));
        QVERIFY(watch.started().size() <= 1);
        const QString told = watch.reasons().join(QLatin1Char('\n'));
        QVERIFY2(watch.reasons().size() == (reason.isEmpty() ? 0 : 1) && told.contains(reason), qPrintable(told));
        if (w2Documents >= 0)
            QCOMPARE(filePages.size(), w2Documents);
        if (action == QLatin1String("search")) {
            QCOMPARE(visibleRows(), 0);
            // Sent elsewhere: the site's answer could not be used.
            QCOMPARE(form->Label8->caption() == Form1::searchFailedText({LoadFailure::Refused, 0}),
                     target != QLatin1String("__self"));
        }
    }

    // The ways such sites start a download, on the site in UTF-8 and in GBK,
    // and rows clicked back to back, far faster than their file pages answer.
    // The rows come only for a keyword the site read as typed (how it goes
    // out, and how often: tst_form1's keywordAsTheSiteReadsIt); each click
    // is an entry at once, and its file lands once, byte-identical, in that
    // entry, under the name the site meant; nothing reaches the desktop, and
    // the user is told of no failure.
    void waysToDownload_data()
    {
        QTest::addColumn<QString>("where");   // "UTF-8", "GBK", or "slow": GBK with slow file pages
        QTest::addColumn<QString>("keyword"); // that lists them
        QTest::addColumn<QStringList>("ids"); // clicked in turn
        for (const char *where : {"UTF-8", "GBK"}) {
            const auto row = [where](const char *keyword, const char *id) {
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(where, id)))
                    << where << keyword << QStringList {id};
            };
            // zwtrad: a name in traditional characters whose GBK bytes hold "\\" and "|";
            // zwpct, zwword: the name percent-encoded, and as an RFC 2047 word.
            for (const char *id :
                 {"zwlink", "zwopen", "zwblank", "zwpost", "zwwait", "zwconf", "zwpath", "zwtrad", "zwpct", "zwword"})
                row("中文资料", id);
            // A hidden frame made for the download, and a mirror on another host.
            for (const char *id : {"zwframe", "zwmirror"})
                row("别处资料", id);
        }
        QTest::newRow("four clicks, slow file pages")
            << "slow"
            << "中文资料" << QStringList {"zwlink", "zwopen", "zwblank", "zwpost"};
    }
    void waysToDownload()
    {
        QFETCH(QString, where);
        QFETCH(QString, keyword);
        QFETCH(QStringList, ids);
        const bool gbk = where != QLatin1String("UTF-8");
        DemoSite &ways = !gbk ? site : where == QLatin1String("GBK") ? gbkSite : slowSite;
        resetShared(ways.siteBase(), ways.homePage());
        DesktopWatch desktop;
        session->setUrlOpener([](const QUrl &url) { QDesktopServices::openUrl(url); });
        QVERIFY(runSearch(keyword));
        DownloadManager *manager = session->downloads();
        const DownloadWatch watch(manager);
        QStringList names;
        for (const QString &id : std::as_const(ids)) {
            const int row = int(listIds().indexOf(id));
            QVERIFY(row >= 0);
            const QString caption = form->Label3[row]->caption();
            names << caption.left(caption.lastIndexOf(QLatin1Char('('))) + QStringLiteral(".zip");
            QTest::mouseClick(form->Label3[row], Qt::LeftButton);
            QCOMPARE(manager->entries().size(), names.size());
            QCOMPARE(manager->entries().last().statusText(), QStringLiteral("正在打开文件页…"));
        }
        QVERIFY(spinUntil([&] { return watch.landed().size() >= ids.size(); }, 60000));
        // A second download, or a notice, could come only from a click still
        // served or a page with something under way.
        QVERIFY(spinUntil([&] { return form->filePagesInUse() == 0 && pagesDone(false); }));
        QCOMPARE(watch.landed().size(), ids.size());
        QCOMPARE(manager->entries().size(), ids.size()); // the clicks', landed: no notice
        for (int i = 0; i < ids.size(); ++i) {
            const DownloadEntry e = manager->entries().at(i);
            QCOMPARE(e.state, DownloadEntry::State::Finished);
            QCOMPARE(e.path, QDir(downloads->path()).filePath(names[i]));
            QFile file(e.path);
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == DemoSite::fileBytes(ids[i]));
        }
        const QStringList inFolder = folder();
        QVERIFY2(std::ranges::is_permutation(names, inFolder), qPrintable(inFolder.join(QLatin1Char('|'))));
        QVERIFY2(desktop.opened.isEmpty(), qPrintable(desktop.opened.value(0).toString()));
    }

    // A results page that declares no charset is read as GBK, as a Chinese
    // system reads it.
    void undeclaredCharsetIsGbk()
    {
        resetShared(gbkSite.siteBase(), gbkSite.homePage());
        QVERIFY(runSearch(QStringLiteral("Linux")));
        QVERIFY(form->Label2->isEnabled());
        scanned = false;
        QTest::mouseClick(form->Label2, Qt::LeftButton);
        QVERIFY(spinUntil([&] { return scanned; }));
        const QList<DemoRow> expected = gbkSite.freeRows("Linux", 2);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(form->W1->characterSet(), QStringLiteral("GBK"));
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(form->Label3[i]->caption(), expected[i].caption);
    }

private:
    // Types the key, presses Enter and waits until the scan has returned or
    // the failure text shows.
    bool runSearch(const QString &key)
    {
        scanned = false;
        form->Text1->setText(key);
        QTest::keyClick(form->Text1, Qt::Key_Return);
        // The dots stop with the scan or the failure; a keyword sent again in
        // the site's encoding keeps them going until its own page.
        return spinUntil([&] { return !form->Timer1->isActive() && (scanned || form->Label8->isVisible()); },
                         LongDeadlineMs + 10000);
    }
    int visibleRows() const
    {
        return int(std::ranges::count_if(form->Picture1, [](QWidget *w) { return w->isVisible(); }));
    }
    QStringList listIds() const
    {
        QStringList out;
        for (int i = 0; i < form->List1->count(); ++i)
            out << form->List1->item(i)->text();
        return out;
    }
    // The list holds the ids of the entries without points, read from the
    // page's own bytes, and the rows show the first of them.
    void showsFreeRows(const QByteArray &key) const
    {
        QStringList ids;
        for (const DemoRow &row : site.freeRows(key))
            ids << row.id;
        QVERIFY(!ids.isEmpty());
        QCOMPARE(listIds(), ids);
        QCOMPARE(visibleRows(), qMin(10, int(ids.size())));
        QVERIFY(!form->Label8->isVisible());
    }
    QStringList folder() const { return QDir(downloads->path()).entryList(QDir::Files | QDir::Hidden); }
    // The saved names, each that matches the expected pattern at its place
    // (a name known only by its form: a shortened one, or whichever of two
    // downloads asked first) replaced by the pattern.
    static QStringList named(QStringList saved, const QStringList &expected)
    {
        if (saved.size() != expected.size())
            return saved;
        for (qsizetype i = 0; i < saved.size(); ++i) {
            const auto pattern = QRegularExpression::wildcardToRegularExpression(expected.at(i));
            if (QRegularExpression(pattern).match(saved.at(i)).hasMatch() && saved.at(i).toUtf8().size() <= 255)
                saved[i] = expected.at(i);
        }
        return saved;
    }
    // Carries out the row's action: the advertisement page loaded (and its
    // second row clicked), a search, or a result row clicked.
    bool act(const QString &action, const QString &target)
    {
        if (action.startsWith(QLatin1String("ad"))) {
            QSignalSpy adPage(form->W3, &Browser::DocumentComplete);
            form->W3->Navigate(site.homePage() + target);
            const bool loaded = spinUntil([&] { return !adPage.isEmpty(); });
            if (loaded && action == QLatin1String("advert"))
                form->Label3_Click(1);
            return loaded;
        }
        if (action == QLatin1String("search"))
            return runSearch(target);
        // Each id's row clicked once the click before has ended.
        shared().SearchMode = true;
        for (const QString &id : target.split(u'|')) {
            const auto opening = [](const DownloadEntry &e) { return e.state == DownloadEntry::State::Opening; };
            if (!spinUntil([&] { return std::ranges::none_of(session->downloads()->entries(), opening); }))
                return false;
            form->List1->clear();
            form->List1->addItem(id);
            form->Label3_Click(0);
        }
        return true;
    }
    // The window's pages have no load or click under way, and no grant left
    // to spend unless grantMayStay.
    bool pagesDone(bool grantMayStay) const
    {
        return std::ranges::all_of(form->findChildren<WebEngineBrowser *>(), [&](const WebEngineBrowser *page) {
            return page->isQuiet() && (grantMayStay || !page->hasOpenGrant());
        });
    }

    DemoSite site;
    DemoSite gbkSite;  // the demo site as the real one is: GBK
    DemoSite slowSite; // the same, with file pages that take their time
    static constexpr int SlowFilePageMs = 1000;
    std::unique_ptr<QTemporaryDir> downloads;
    std::unique_ptr<WebEngineSession> session;
    std::unique_ptr<Form1> form;
    bool scanned = false;
};

QTEST_MAIN(BadInputTest)
#include "tst_badinput.moc"
