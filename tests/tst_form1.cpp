#include <memory>

#include <QAccessible>
#include <QLineEdit>
#include <QTextDocumentFragment>
#include <QtTest>

#include "ClickLabel.h"
#include "Design.h"
#include "Form1.h"
#include "ResultPages.h"
#include "ScriptedBrowser.h"
#include "SharedState.h"

using ResultPages::entry;
using El = ScriptedBrowser::Element;

class Form1Test : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        win = std::make_unique<ScriptedWindow>();
        form = win->form.get();
        w1 = win->w1;
        w2 = win->filePages.first();
        w3 = win->w3;
    }

    void cleanup() { win.reset(); }
    // The keyword reaches the site as its own search form sends it: in the
    // encoding of its pages, learnt from the first of them (a first search
    // sent in another is sent once more), with what the encoding lacks as a
    // form writes it; trimmed, and "&", "#", "%", "+" and spaces as typed.
    void keywordAsTheSiteReadsIt_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("charset");    // of the site's pages
        QTest::addColumn<QString>("remembered"); // by an earlier start
        QTest::addColumn<QStringList>("keys");   // sent, over two searches
        const auto twice = [](const char *key) { return QStringList(2, QString::fromLatin1(key)); };
        const QString utf8 = QStringLiteral("%E4%B8%AD%E6%96%87%E8%B5%84%E6%96%99");
        const QString gbk = QStringLiteral("%D6%D0%CE%C4%D7%CA%C1%CF");
        // clang-format off
        QTest::newRow("UTF-8, spaces trimmed") << "  教程 x " << "UTF-8" << "" << twice("%E6%95%99%E7%A8%8B%20x");
        QTest::newRow("reserved characters") << "a&b C# 100% x+y" << "UTF-8" << "" << twice("a%26b%20C%23%20100%25%20x%2By");
        QTest::newRow("empty") << "" << "UTF-8" << "" << twice("");
        QTest::newRow("GBK, sent again once") << "中文资料" << "GBK" << "" << QStringList {utf8, gbk, gbk};
        QTest::newRow("not in GBK") << "한 x" << "GBK" << "" << QStringList {"%ED%95%9C%20x", "%26%2354620%3B%20x", "%26%2354620%3B%20x"};
        QTest::newRow("ASCII goes once") << "C#" << "GBK" << "" << twice("C%23");
        // Learnt at an earlier start: the first search already goes out as
        // the site reads it, and a site that changed is learnt again.
        QTest::newRow("GBK remembered") << "中文资料" << "GBK" << "GBK" << QStringList {gbk, gbk};
        QTest::newRow("remembered, the site changed") << "中文资料" << "UTF-8" << "GBK" << QStringList {gbk, utf8, utf8};
        // clang-format on
    }

    void keywordAsTheSiteReadsIt()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, charset);
        QFETCH(QString, remembered);
        QFETCH(QStringList, keys);
        w1->charset = charset;
        form->setSiteCharset(remembered);
        win->search(keyword);
        QCOMPARE(form->Text1->text(), keyword); // the search leaves the box as typed
        const QString page = ResultPages::page(entry("a", "t", "1"));
        w1->complete(page);
        if (w1->navigations.size() > 1) {
            // The answer to a garbled keyword is not shown.
            QCOMPARE(win->rowsShown(), QList<bool>(10, false));
            w1->complete(page);
        }
        QCOMPARE(win->rowsShown().value(0), true);
        win->search(keyword);
        for (QString &key : keys)
            key.prepend(QStringLiteral("http://site.test/search.php?key="));
        QCOMPARE(w1->navigations, keys);
        // Kept for the next start only when it is news.
        QCOMPARE(win->charsets, charset == remembered ? QStringList {} : QStringList {charset});
    }

    // The progress text: its dots carry over to the next search, and a
    // screen reader hears it come and go, not each dot.
    void progress()
    {
        const QString base = QString::fromUtf8(Design::control("Label8").caption);
        QSignalSpy heard(form->Label8, &ClickLabel::announced);
        win->search("a");
        QCOMPARE(heard.size(), 1);
        for (int step = 1; step <= 9; ++step)
            form->Timer1_Timer();
        QCOMPARE(form->Label8->caption(), base + "..");
        QCOMPARE(heard.size(), 1);
        QCOMPARE(QAccessible::queryAccessibleInterface(form->Label8)->text(QAccessible::Name), base);
        w1->complete(ResultPages::page(QString()));
        win->search("b");
        QCOMPARE(form->Label8->caption(), base + "..");
        w1->fail();
        form->Timer1_Timer();
        QCOMPARE(form->Label8->caption(), Form1::searchFailedText({LoadFailure::Unreachable}));
        QCOMPARE(heard.size(), 4); // searching, nothing free, searching, failed
    }

    // A page's free entries fill the rows from the top, as written; a page
    // change shows only its own rows, the others keeping their old captions
    // hidden, and a row's click opens the page of the entry it shows.
    void resultsFillRows()
    {
        win->search("t");
        w1->complete(ResultPages::page(entry("a1", "<B>Qt</B> 教程", "12 MB") + entry("p", "paid", "1 KB", 5)
                                           + entry(" b2 ", "&lt;b&gt;x 한국", "3 KB ") + entry("c", "old2", "1")
                                           + entry("d", "old3", "1"),
                                       false, true));
        QCOMPARE(win->captions(4), (QStringList {"Qt 教程(12 MB)", "<b>x 한국(3 KB )", "old2(1)", "old3(1)"}));
        QCOMPARE(form->List1->item(1)->text(), QStringLiteral(" b2 "));
        QCOMPARE(win->rowsShown(), (QList<bool> {1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(form->Label3[1]->textFormat(), Qt::PlainText);
        // Whole in the tooltip, for a title that runs past the row, as written.
        QCOMPARE(QTextDocumentFragment::fromHtml(form->Label3[1]->toolTip()).toPlainText(),
                 QStringLiteral("<b>x 한국(3 KB )"));
        form->Label2->clicked();
        w1->complete(ResultPages::page(entry("x", "n0", "1") + entry("y", "n1", "1"), true));
        QCOMPARE(win->rowsShown(), (QList<bool> {1, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(win->captions(4), (QStringList {"n0(1)", "n1(1)", "old2(1)", "old3(1)"}));
        QVERIFY(!form->Label2->isEnabled());
    }

    // Events run between entries: a newer page or a search arriving while a
    // long page is scanned owns the rows from then on, and the older scan
    // must not append after it; a page change that finds no link leaves the
    // page, and all of its rows, as they were.
    void interruptedScan_data()
    {
        QTest::addColumn<QString>("by");
        QTest::addColumn<int>("rows"); // shown at the end
        QTest::newRow("newer page") << "page" << 2;
        QTest::newRow("search") << "search" << 0;
        QTest::newRow("page change to no link") << "label" << 6;
    }

    void interruptedScan()
    {
        QFETCH(QString, by);
        QFETCH(int, rows);
        win->search("t");
        QString a;
        for (int i = 0; i < 6; ++i)
            a += entry(QStringLiteral("a%1").arg(i), "A", "1");
        QTimer::singleShot(0, this, [this, by] {
            if (by == "search")
                win->search("u");
            else if (by == "page")
                w1->complete(ResultPages::page(entry("b0", "B", "1") + entry("b1", "B", "1")));
            else
                form->Label2_Click();
        });
        w1->complete(ResultPages::page(a, false, true), {}, {El {"DIV", "下一页"}});
        QCoreApplication::processEvents(); // the page change's answer
        QList<bool> shown(10, false);
        std::fill_n(shown.begin(), rows, true);
        QCOMPARE(win->rowsShown(), shown);
        QCOMPARE(form->Label8->isVisible(), by == "search");
        if (rows) {
            QCOMPARE(form->List1->count(), rows);
            QCOMPARE(win->captions(2), QStringList(2, by == "page" ? "B(1)" : "A(1)"));
        }
    }

    // A search that lists no row says why, where the progress text stands:
    // no free entry, or the site's silence (the site's failures, with their
    // status, and a connection never made: tst_badinput's search). A page
    // change takes the word away with the rows. Nothing of the page before
    // is left to click, and a late page still fills the rows.
    void searchWithoutRowsSaysWhy_data()
    {
        QTest::addColumn<QString>("entries"); // of the page that comes
        QTest::addColumn<bool>("stalls");     // no answer before the deadline, instead of the page
        QTest::addColumn<bool>("nextPage");   // clicked after it
        QTest::addColumn<QString>("word");    // what Label8 shows at the end
        const QString paid = entry("a", "x", "1", 5) + entry("b", "y", "2", 1) + entry("c", "z", "3", 10);
        // clang-format off
        QTest::newRow("no entry") << QString() << false << false << "没有找到相关的免费资源";
        QTest::newRow("all cost points") << paid << false << false << "找到 3 个结果，都需要积分";
        QTest::newRow("a page change") << paid << false << true << "正在搜索，请稍侯";
        QTest::newRow("stalled") << QString() << true << false << "网站没有响应，请稍后再试";
        // clang-format on
    }

    void searchWithoutRowsSaysWhy()
    {
        QFETCH(QString, entries);
        QFETCH(bool, stalls);
        QFETCH(bool, nextPage);
        QFETCH(QString, word);
        win->search("t");
        w1->complete(ResultPages::page(entry("a", "t", "1"), true, true));
        if (stalls)
            form->setResultsDeadline(50);
        win->search("t");
        if (!stalls)
            w1->complete(ResultPages::page(entries, false, true), {}, {El {"A", "下一页"}});
        if (nextPage)
            QTest::mouseClick(form->Label2, Qt::LeftButton);
        QTRY_COMPARE(form->Label8->caption(), word);
        QVERIFY(form->Label8->isVisible());
        QCOMPARE(win->rowsShown(), QList<bool>(10, false));
        QCOMPARE(form->List1->count(), 0);
        QVERIFY(!form->Label1->isEnabled());
        QCOMPARE(form->Label2->isEnabled(), !stalls);
        if (nextPage)
            return; // its page is on its way
        QVERIFY(!form->Timer1->isActive());
        win->search("t");
        QCOMPARE(form->Label8->caption(), QString::fromUtf8(Design::control("Label8").caption));
    }

    void paging_data()
    {
        QTest::addColumn<int>("label");
        QTest::addColumn<QString>("linkTag"); // of the elements that carry the labels' texts
        QTest::addColumn<int>("labelClicks");
        QTest::addColumn<QStringList>("expectedClicks"); // none: the page stays
        QTest::addColumn<int>("answer");                 // what the click reports; -2: its count
        // clang-format off
        QTest::newRow("next page") << 2 << "A" << 1 << QStringList {"下一页", "下一页 »"} << -2;
        QTest::newRow("previous page") << 1 << "A" << 1 << QStringList {"上一页"} << -2;
        QTest::newRow("text without an anchor") << 2 << "DIV" << 1 << QStringList {} << -2;
        // The first click's page is still loading: the old page's links are not
        // followed a second time.
        QTest::newRow("click while loading") << 2 << "A" << 2 << QStringList {"下一页", "下一页 »"} << -2;
        // The next page replaced the document before the click could answer.
        QTest::newRow("page replaced first") << 2 << "A" << 1 << QStringList {"下一页", "下一页 »"} << int(Browser::ClickedUnknown);
        // clang-format on
    }

    void paging()
    {
        QFETCH(int, label);
        QFETCH(QString, linkTag);
        QFETCH(int, labelClicks);
        QFETCH(QStringList, expectedClicks);
        QFETCH(int, answer);
        const bool pageChanges = !expectedClicks.isEmpty();
        if (answer != -2)
            w1->clickAnswer = answer;
        win->search("t");
        w1->complete(ResultPages::page(entry("a", "t", "1"), true, true), {},
                     {El {linkTag, "下一页"}, El {linkTag, "上一页"}, El {linkTag, "下一页 »"}, El {"DIV", "下一页"}});
        for (int i = 0; i < labelClicks; ++i) {
            QTest::mouseClick(label == 1 ? form->Label1 : form->Label2, Qt::LeftButton);
            QCoreApplication::processEvents(); // the count of clicked links arrives
        }
        QCOMPARE(w1->clicks, expectedClicks);
        QCOMPARE(win->rowsShown(), pageChanges ? QList<bool>(10, false) : (QList<bool> {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(form->Label8->isVisible(), pageChanges);
        QCOMPARE(form->Timer1->isActive(), pageChanges);
        // The labels stay as the page set them until the next page is scraped.
        QVERIFY(form->Label1->isEnabled() && form->Label2->isEnabled());
        // Only a click that followed a link waits for a page.
        QCOMPARE(form->awaitsResults(), pageChanges);
        // A page that comes all the same still decides which rows show, not
        // the rows a click that loaded nothing put back.
        w1->complete(ResultPages::page(QString()));
        QCOMPARE(win->rowsShown(), QList<bool>(10, false));
    }

    // A page change that fails says why, once, whenever its failure comes:
    // before the click's answer (a link off the site, refused), before an
    // answer of none (the page at rest loaded again, the site busy), or in
    // place of an answer.
    void aFailedPageChangeSaysWhy_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("answer"); // -1: none comes
        QTest::newRow("link off the site") << int(LoadFailure::Refused) << 0 << 1;
        QTest::newRow("busy as it loads again") << int(LoadFailure::HttpError) << 503 << 0;
        QTest::newRow("no answer") << int(LoadFailure::NoAnswer) << 0 << -1;
    }

    void aFailedPageChangeSaysWhy()
    {
        QFETCH(int, kind);
        QFETCH(int, status);
        QFETCH(int, answer);
        const LoadFailure failure {LoadFailure::Kind(kind), status};
        win->search("t");
        w1->complete(ResultPages::page(entry("a", "t", "1"), true, true), {}, {El {"A", "下一页"}});
        w1->clickAnswer = answer;
        w1->answersClicks = answer >= 0;
        form->setResultsDeadline(failure.kind == LoadFailure::NoAnswer ? 50 : 60000);
        QTest::mouseClick(form->Label2, Qt::LeftButton);
        if (failure.kind != LoadFailure::NoAnswer)
            w1->fail(failure);
        QCoreApplication::processEvents(); // the click's answer
        QTRY_COMPARE(form->Label8->caption(), Form1::searchFailedText(failure));
        QVERIFY(!form->awaitsResults());
        QCOMPARE(win->rowsShown(), QList<bool>(10, false));
        // The next page's links are followed again.
        w1->answersClicks = true;
        w1->complete(ResultPages::page(entry("b", "t", "1"), true, true), {}, {El {"A", "下一页"}});
        QTest::mouseClick(form->Label2, Qt::LeftButton);
        QCOMPARE(w1->clicks.size(), 2);
    }

    void advertisementRowsClickByDigit()
    {
        w3->complete({}, "2.01", {El {"A", "1 电影"}, El {"A", "2 软件"}, El {"A", "top 10"}, El {"A", "21 天"}});
        QTest::mouseClick(form->Label3[1], Qt::LeftButton);
        QCOMPARE(w3->clicks, (QStringList {"1 电影", "top 10", "21 天"}));
        QCOMPARE(w3->grants, (QList<QPair<int, int>> {{1, 1}})); // one page for the desktop, one download
        QVERIFY(w2->navigations.isEmpty());
        // A row whose number no link carries gives the page nothing to act
        // on; an older click's answer ends no later click's grant.
        form->Label3_Click(5);
        form->Label3_Click(2);
        QCoreApplication::processEvents();
        form->Label3_Click(7);
        QCoreApplication::processEvents();
        QCOMPARE(w3->grants, (QList<QPair<int, int>> {{1, 1}, {1, 1}, {1, 1}, {1, 1}, {0, 0}}));
    }

    void filePageClicksZeroPointTables()
    {
        const QList<El> tables {El {"TABLE", "外 免费下载（0分）"}, El {"TABLE", "免费下载（0分）"},
                                El {"TABLE", "高速下载"}, El {"TABLE", "另一个 0分"}};
        const QStringList once {"外 免费下载（0分）", "免费下载（0分）", "另一个 0分"};
        w2->complete({}, {}, tables);
        shared().SearchMode = true;
        form->Label3_Click(0); // a row shown since start, without an identifier: nothing
        win->search("t");
        w2->complete({}, {}, tables);
        w1->complete(ResultPages::page(entry(" a b ", "t", "1")));
        QTest::mouseClick(form->Label3[0], Qt::LeftButton);
        QCOMPARE(w2->navigations, QStringList {"http://site.test/f/a b.html"});
        w2->complete({}, {}, tables);
        QCOMPARE(w2->clicks, once); // none before: no row was clicked, before or after the first search
        // Clicked again while its page is on its way: nothing twice, and the
        // list shows its entry.
        QTest::mouseClick(form->Label3[0], Qt::LeftButton);
        QCOMPARE(win->registered.size(), 1);
        QCOMPARE(win->listShown, QList<bool> {false});
        // Once its download came, the row loads its page again, for new clicks.
        form->downloadAnswered(1);
        QTest::mouseClick(form->Label3[0], Qt::LeftButton);
        QCOMPARE(w2->navigations, QStringList(2, "http://site.test/f/a b.html"));
        QCOMPARE(w2->grants.size(), 1); // the page it still holds acts for nobody
        w2->complete({}, {}, tables);
        QCOMPARE(w2->clicks.size(), 2 * once.size());
        QCOMPARE(w2->grants.size(), 2);
        // A file downloading already is shown by the list, not opened again.
        form->downloadAnswered(2);
        win->downloading << "http://site.test/f/a b.html";
        QTest::mouseClick(form->Label3[0], Qt::LeftButton);
        QCOMPARE(w2->navigations.size(), 2);
    }

    // Rows clicked faster than their file pages answer: each click is an
    // entry at once, three pages load side by side, the fourth waits for a
    // free page, and a click that gives up says so in its own entry.
    void everyClickIsServed()
    {
        win->search("t");
        w1->complete(ResultPages::page(entry("a", "甲", "1") + entry("b", "乙", "2") + entry("c", "丙", "3")
                                       + entry("d", "丁", "4")));
        for (int row = 0; row < 4; ++row)
            QTest::mouseClick(form->Label3[row], Qt::LeftButton);
        QCOMPARE(win->registered,
                 (QStringList {"1|甲(1)|http://site.test/f/a.html", "2|乙(2)|http://site.test/f/b.html",
                               "3|丙(3)|http://site.test/f/c.html", "4|丁(4)|http://site.test/f/d.html"}));
        const QList<QPointer<ScriptedBrowser>> pages = win->filePages;
        QCOMPARE(pages.size(), 3);
        for (int n = 0; n < 3; ++n) {
            QCOMPARE(pages[n]->navigations,
                     QStringList {QStringLiteral("http://site.test/f/%1.html").arg(QChar('a' + n))});
        }
        // The second page fails: its own entry says so, and the waiting click
        // gets a page of its own, not the one whose click gave up.
        pages[1]->fail({LoadFailure::HttpError, 503});
        QCOMPARE(win->notices, QStringList {"2|文件页打不开（HTTP 503）"});
        QTRY_VERIFY(!pages[1]);
        QCOMPARE(win->filePages.last()->navigations, QStringList {QStringLiteral("http://site.test/f/d.html")});
        // W2's download came; the page made for the third click goes once its download came.
        form->downloadAnswered(1);
        form->downloadAnswered(3);
        QTRY_VERIFY(!pages[2]);
        QCOMPARE(form->filePagesInUse(), 1);
        QVERIFY(pages[0]);
    }

    void closeSequence_data()
    {
        QTest::addColumn<QString>("adText");
        QTest::addColumn<bool>("answerOk");
        QTest::addColumn<bool>("downloadLink");  // an anchor with "365" on the advertisement page
        QTest::addColumn<bool>("downloadsStop"); // the answer to stopping running downloads
        QTest::addColumn<int>("expectedPrompts");
        QTest::addColumn<bool>("staysOpen");
        QTest::newRow("2.02 OK") << "2.02 新版" << true << true << true << 1 << true;
        // Nothing to download: the home page is opened instead.
        QTest::newRow("2.02 OK, no 365 link") << "2.02" << true << false << true << 1 << true;
        QTest::newRow("2.02 Cancel") << "2.02" << false << true << true << 1 << false;
        QTest::newRow("2.02 Cancel, downloads kept") << "2.02" << false << true << false << 1 << true;
        QTest::newRow("2.01") << "2.01" << true << true << true << 0 << false;
        QTest::newRow("not a number") << "abc" << true << true << true << 0 << false;
    }

    void closeSequence()
    {
        QFETCH(QString, adText);
        QFETCH(bool, answerOk);
        QFETCH(bool, downloadLink);
        QFETCH(bool, downloadsStop);
        QFETCH(int, expectedPrompts);
        QFETCH(bool, staysOpen);
        win->answer = answerOk;
        win->stopDownloads = downloadsStop;
        QList<El> links {El {"A", "1 电影"}};
        if (downloadLink)
            links.prepend(El {"A", "下载 365 新版"});
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France)); // decimal comma
        w3->complete({}, adText, links);
        // The first search replaces the advertised titles: the advertisement
        // page may go, and its version is still read at close.
        win->search("a");
        win->search("b");
        QCOMPARE(w3->rests, 1);
        form->close();
        QLocale::setDefault(QLocale::c());
        QCoreApplication::processEvents(); // the count of clicked links arrives
        QCOMPARE(win->prompts, expectedPrompts);
        QCOMPARE(form->isVisible(), staysOpen);
        QCOMPARE(win->quits, staysOpen ? 0 : 1);
        const bool accepted = answerOk && expectedPrompts;
        QCOMPARE(w3->clicks, accepted && downloadLink ? QStringList {"下载 365 新版"} : QStringList {});
        QCOMPARE(win->opened, accepted && !downloadLink ? QList<QUrl> {QUrl("http://home.test")} : QList<QUrl> {});
        // The accepted update may download once, and only by the link it clicked.
        using Grants = QList<QPair<int, int>>;
        const Grants given = !accepted ? Grants {} : downloadLink ? Grants {{1, 0}} : Grants {{1, 0}, {0, 0}};
        QCOMPARE(w3->grants, given);
        if (!staysOpen)
            return;
        // The update is offered once: the next close ends without asking again.
        win->stopDownloads = true;
        form->close();
        QCOMPARE(win->prompts, expectedPrompts);
        QCOMPARE(win->quits, 1);
    }

    void clickWithoutDownloadIsNoticed_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("reason"); // empty: no notice
        // clang-format off
        QTest::newRow("no free table") << "plain" << "页面上没有免费下载";
        QTest::newRow("free text outside any table") << "text" << "页面上没有免费下载";
        QTest::newRow("file page unreachable") << "fail" << "文件页打不开，请检查网络";
        QTest::newRow("nothing within the deadline") << "table" << "点击下载后 2 分钟内没有开始下载";
        QTest::newRow("file page never came") << "nothing" << "文件页没有响应";
        QTest::newRow("download began") << "began" << "";
        // The tables led to a countdown page, whose redirect failed, but a
        // window of the page started the download: nothing to tell.
        QTest::newRow("countdown, then the download") << "countdown" << "";
        // clang-format on
    }

    void clickWithoutDownloadIsNoticed()
    {
        QFETCH(QString, how);
        QFETCH(QString, reason);
        form->setDownloadDeadline(50);
        win->search("t");
        w1->complete(ResultPages::page(entry("ab", "t", "1")));
        QTest::mouseClick(form->Label3[0], Qt::LeftButton);
        if (how == QLatin1String("fail"))
            w2->fail();
        else if (how == QLatin1String("plain"))
            w2->complete({}, "收费下载（5分）", {El {"TABLE", "收费下载（5分）"}});
        else if (how == QLatin1String("text"))
            w2->complete({}, "免费下载（0分）", {El {"DIV", "免费下载（0分）"}});
        else if (how != QLatin1String("nothing"))
            w2->complete({}, "免费下载（0分）", {El {"TABLE", "免费下载（0分）"}});
        if (how == QLatin1String("countdown")) {
            QCoreApplication::processEvents(); // the count of clicked tables arrives
            w2->complete({}, "请稍候，3 秒后开始下载");
            QCoreApplication::processEvents();
            w2->fail();
        }
        if (how == QLatin1String("began") || how == QLatin1String("countdown"))
            form->downloadAnswered(1);
        QTRY_COMPARE(win->notices, reason.isEmpty() ? QStringList {} : QStringList {"1|" + reason});
        QCOMPARE(form->filePagesInUse(), 0); // no click waits: no deadline is left to tell
        QCOMPARE(QApplication::focusWidget(), form->Text1);
        // One notice per click, whatever follows.
        w2->fail();
        QCOMPARE(win->notices.size(), reason.isEmpty() ? 0 : 1);
    }

    // The keyboard map and what a screen reader finds, on a window showing
    // three results with only the next page enabled.
    void keyMap_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QStringList>("followed"); // W1's clicks, then W2's addresses
        using K = QList<int>;
        const auto row = [](const char *name, const K &keys, const char *focus, const QStringList &followed = {}) {
            QTest::newRow(name) << keys << focus << followed;
        };
        const int down = Qt::Key_Down;
        // clang-format off
        row("down stops at the last row", K {down, down, down, down}, "Label3(2)");
        row("up and back", K {down, down, Qt::Key_Up}, "Label3(0)");
        row("up from the first row", K {down, Qt::Key_Up}, "Text1");
        row("esc", K {down, down, Qt::Key_Escape}, "Text1");
        row("enter on a row", K {down, down, Qt::Key_Return}, "Label3(1)", {"http://site.test/f/b.html"});
        row("page down", K {Qt::Key_PageDown}, "Text1", {"下一页"});
        row("page up while disabled", K {down, Qt::Key_PageUp}, "Label3(0)");
        row("typing on a row", K {down, Qt::Key_A}, "Text1"); // and the keyword reads "ta"
        // clang-format on
    }

    void keyMap()
    {
        form->activateWindow();
        win->search("t");
        w1->complete(ResultPages::page(entry("a", "甲", "1 KB") + entry("b", "乙", "2 KB") + entry("c", "丙", "3 KB"),
                                       false, true),
                     {}, {El {"A", "上一页"}, El {"A", "下一页"}});
        w1->navigations.clear();
        QFETCH(QList<int>, keys);
        QFETCH(QString, focus);
        QFETCH(QStringList, followed);
        for (int key : keys)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QCOMPARE(w1->clicks + w2->navigations, followed);
        QCOMPARE(form->Text1->text(), QString::fromLatin1(keys.contains(Qt::Key_A) ? "ta" : "t"));
        QVERIFY(w1->navigations.isEmpty());
    }

private:
    std::unique_ptr<ScriptedWindow> win;
    Form1 *form = nullptr;
    ScriptedBrowser *w1 = nullptr;
    ScriptedBrowser *w2 = nullptr;
    ScriptedBrowser *w3 = nullptr;
};

QTEST_MAIN(Form1Test)
#include "tst_form1.moc"
