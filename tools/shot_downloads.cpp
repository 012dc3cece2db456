// Takes docs/downloads.png: the download list holding two finished (one of
// a name as long as a name may be), a running, a paused, a failed and a
// "未能开始下载" entry, made by the real engine
// against the demo site; and, given a second path (docs/download-list.png),
// the whole screen with the main window centred, as it starts, and the list
// where it then opens beside it. Run under a display with a window manager
// (tools/shot-downloads.sh, a 1280×800 screen).
#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ClickLabel.h"
#include "DemoSite.h"
#include "DownloadList.h"
#include "DownloadManager.h"
#include "DownloadWatch.h"
#include "Module1.h"
#include "RealWindow.h"
#include "SharedState.h"
#include "WebEngineBrowser.h"
#include "WebEngineSession.h"

namespace {

// The shot's entries, made through the engine: two finished, a failed, a
// running, a paused and one that never started. 0, or the step that failed
// (the exit status); running is the running one's id.
int makeEntries(WebEngineSession &session, const DemoSite &site, const QTemporaryDir &dir, int &running)
{
    DownloadManager *downloads = session.downloads();
    auto last = [downloads] { return downloads->entries().constLast(); };
    DownloadWatch watch(downloads);
    // One browser per download, as each download is its own click.
    auto start = [&](const QString &path) {
        auto *browser = session.createBrowser(qApp);
        browser->Navigate(site.siteBase() + path);
        browser->allowUserAction({.downloads = 1});
        return watch.waitStarted();
    };
    // A name as long as the program lets a name be, shortened in the list.
    for (const QString &file : {QStringLiteral("/d/longcn"), QStringLiteral("/d/a1b2c3")}) {
        if (!start(file) || !QTest::qWaitFor([&] { return last().state == DownloadEntry::State::Finished; }, 30000))
            return 2;
    }
    // A folder that cannot be written: a path under a regular file.
    QFile(dir.filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly);
    downloads->folder().setPath(dir.filePath(QStringLiteral("plain/下载")));
    auto *browser = session.createBrowser(qApp);
    browser->Navigate(site.siteBase() + QStringLiteral("/d/umzj41"));
    browser->allowUserAction({.downloads = 1});
    if (!watch.waitReason())
        return 5;
    downloads->folder().setPath(dir.path());
    if (!start(QStringLiteral("/bytes/4294967296.bin")))
        return 3;
    running = last().id;
    if (!start(QStringLiteral("/bytes/1073741824.bin")))
        return 4;
    downloads->act(last().id, DownloadEntry::Pause);
    const int gaveUp = downloads->addClick(QStringLiteral("Linux 命令行教程(60.0 MB)"),
                                           QUrl(site.siteBase() + QStringLiteral("/f/106349.html")));
    downloads->clickGaveUp(gaveUp, QStringLiteral("页面上没有免费下载"));
    return 0;
}

bool grab(const QWidget &on, const QRect &frame, const QString &path)
{
    return on.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(path);
}

// The whole screen with the window centred, as it starts, and the list
// closed and opened again beside it. 0, or the exit status.
int shootBeside(QWidget &window, DownloadList &list, const QString &path)
{
    list.close();
    const QRect screen = window.screen()->geometry();
    const QPoint centred = screen.center() - window.rect().center();
    window.move(centred);
    if (!QTest::qWaitFor([&] { return window.pos() == centred; }, 5000))
        return 8;
    list.showWithoutFocus();
    QTest::qWait(1500);
    return grab(list, screen, path) ? 0 : 7;
}

} // namespace

int main(int argc, char **argv)
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    Module1::describeApplication();
    const QString out = app.arguments().value(1, QStringLiteral("downloads.png"));
    const QString beside = app.arguments().value(2);
    DemoSite site;
    // Slow enough to be caught moving, and to leave the engine room for the next.
    if (!site.start({QStringLiteral("--rate=4000000")})) {
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
    // As the program gives it, and at the size of the shot before it first shows.
    list.setAnchor(window.get(), {window->Text1, window->Label4});
    list.resize(480, 560);
    int running = 0;
    if (const int failed = makeEntries(session, site, dir, running))
        return failed;
    list.showWithoutFocus();
    // Painted, and the running one showing its speed, well before it ends.
    QTest::qWait(1500);
    const bool speed = QTest::qWaitFor([&] { return downloads->entry(running).bytesPerSecond > 0; }, 10000);
    if (!speed || downloads->entry(running).state != DownloadEntry::State::Running)
        return 6;
    int status = grab(list, list.frameGeometry(), out) ? 0 : 7;
    if (status == 0 && !beside.isEmpty())
        status = shootBeside(*window, list, beside);
    downloads->cancelAll();
    return status;
}
