// Takes docs/downloads.png: the download list holding two finished (one of
// a name as long as a name may be), a running, a paused, a failed and a
// "未能开始下载" entry, made by the real engine
// against the demo site; and, given a second path (docs/download-list.png),
// the list where it opens beside the main window. Run under a display with
// a window manager (tools/shot-downloads.sh).
#include <QApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "DemoSite.h"
#include "DownloadList.h"
#include "DownloadManager.h"
#include "Module1.h"
#include "RealWindow.h"
#include "SharedState.h"
#include "WebEngineBrowser.h"
#include "WebEngineSession.h"

int main(int argc, char **argv)
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    Module1::describeApplication();
    const QString out = app.arguments().value(1, QStringLiteral("downloads.png"));
    const QString beside = app.arguments().value(2);
    DemoSite site;
    if (!site.start()) {
        qCritical("demo site: %s", qPrintable(site.errorString()));
        return 1;
    }
    QTemporaryDir dir;
    WebEngineSession session;
    DownloadManager *downloads = session.downloads();
    downloads->folder().setPath(dir.path());
    resetShared(site.siteBase(), site.homePage());
    const auto window = realWindow(session);
    window->Form_Load();
    window->move(40, 40);
    window->show();
    DownloadList list(*downloads);
    list.setAnchor(window.get());
    auto last = [downloads] { return downloads->entries().constLast(); };
    QSignalSpy started(downloads, &DownloadManager::downloadStarted);
    // One browser per download, as each download is its own click.
    auto start = [&](const QString &path) {
        auto *browser = session.createBrowser(&app);
        browser->Navigate(site.siteBase() + path);
        browser->allowUserAction({.downloads = 1});
        return started.wait(30000);
    };

    // A name as long as the program lets a name be, shortened in the list.
    for (const QString &file : {QStringLiteral("/d/longcn"), QStringLiteral("/d/a1b2c3")}) {
        if (!start(file) || !QTest::qWaitFor([&] { return last().state == DownloadEntry::State::Finished; }, 30000))
            return 2;
    }
    // A folder that cannot be written: a path under a regular file.
    QFile(dir.filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly);
    downloads->folder().setPath(dir.filePath(QStringLiteral("plain/下载")));
    QSignalSpy failed(downloads, &DownloadManager::downloadFailed);
    auto *browser = session.createBrowser(&app);
    browser->Navigate(site.siteBase() + QStringLiteral("/d/umzj41"));
    browser->allowUserAction({.downloads = 1});
    if (!failed.wait(30000))
        return 5;
    downloads->folder().setPath(dir.path());
    if (!start(QStringLiteral("/bytes/4294967296.bin")))
        return 3;
    const int running = last().id;
    if (!start(QStringLiteral("/bytes/1073741824.bin")))
        return 4;
    downloads->act(last().id, DownloadEntry::Pause);
    const int gaveUp = downloads->addClick(QStringLiteral("Linux 命令行教程(60.0 MB)"),
                                           QUrl(site.siteBase() + QStringLiteral("/f/106349.html")));
    downloads->clickGaveUp(gaveUp, QStringLiteral("页面上没有免费下载"));
    list.resize(480, 560);
    list.showWithoutFocus();
    // Let the running one show its speed, but keep the shot well before it ends.
    QTest::qWait(1500);
    if (downloads->entry(running).state != DownloadEntry::State::Running)
        return 6;
    auto grab = [&list](const QRect &frame, const QString &path) {
        return list.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(path);
    };
    const bool saved = grab(list.frameGeometry(), out)
                       && (beside.isEmpty() || grab(list.frameGeometry().united(window->frameGeometry()), beside));
    downloads->cancelAll();
    return saved ? 0 : 7;
}
