// Start-up time, each sample a fresh process (this executable re-run in a
// child mode), timed from the parent's fork:
//   program: the program's own start-up path (WebEngineSession, Module1::Main)
//            until the advertisement page's load starts (its first request;
//            the desktop's proxy is read meanwhile), until its window is
//            shown and first painted, until the
//            advertisement page has loaded (its page's loadFinished, the
//            moment the bare program is timed to), and until its titles
//            have filled the rows (after the page's snapshot);
//   bare:    a plain QWebEnginePage loading the same advertisement page,
//            with the engine's defaults, until loadStarted and loadFinished.
// The demo site runs on the built-in addresses, which Module1::Main uses.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <vector>

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "BenchProcess.h"
#include "Browser.h"
#include "BuiltInSite.h"
#include "DownloadManager.h"
#include "Form1.h"
#include "Module1.h"
#include "WebEngineSession.h"

namespace {

// Notes the first Show and the first Paint of the window, and the start of
// the first page's load.
class ShownWatch : public QObject
{
public:
    double shownMs = -1;
    double paintedMs = -1;
    double firstRequestMs = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A page is not one yet while it is being made: it is looked for
        // once the loop runs, before the engine can answer its load.
        if (firstRequestMs < 0 && event->type() == QEvent::ChildAdded && qobject_cast<Browser *>(watched)) {
            QTimer::singleShot(0, this, [this, browser = QPointer<QObject>(watched)] {
                if (auto *page = browser ? browser->findChild<QWebEnginePage *>() : nullptr)
                    connect(page, &QWebEnginePage::loadStarted, this, [this] {
                        if (firstRequestMs < 0)
                            firstRequestMs = bench::msSinceSpawn();
                    });
            });
        }
        if (shownMs < 0 && event->type() == QEvent::Show && qobject_cast<Form1 *>(watched))
            shownMs = bench::msSinceSpawn();
        if (paintedMs < 0 && event->type() == QEvent::Paint && watched->isWidgetType()
            && qobject_cast<Form1 *>(static_cast<QWidget *>(watched)->window()))
            paintedMs = bench::msSinceSpawn();
        return false;
    }
};

// As src/startup/main.cpp, plus the watch; ends once the advertisement page is in.
int runProgram(int argc, char **argv)
{
    const double enteredMs = bench::msSinceSpawn();
    WebEngineSession::prepareApplication();
    Module1::followDesktopProxy();
    QApplication app(argc, argv);
    Module1::describeApplication();
    Module1::prepareWindow();
    ShownWatch watch;
    app.installEventFilter(&watch);

    double adMs = -1;
    double loadedMs = -1;
    int rc = 0;
    {
        WebEngineSession session;
        std::unique_ptr<Form1> form(Module1::Main(session));
        // The advertisement browser's page; it exists once its load started.
        if (auto *page = form->W3->findChild<QWebEnginePage *>()) {
            QObject::connect(page, &QWebEnginePage::loadFinished, &app, [&](bool ok) {
                if (ok && loadedMs < 0)
                    loadedMs = bench::msSinceSpawn();
            });
        }
        QObject::connect(form->W3, &Browser::DocumentComplete, &app, [&] {
            adMs = bench::msSinceSpawn();
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
        });
        QTimer::singleShot(30000, &app, &QCoreApplication::quit);
        rc = QApplication::exec();
        form.reset();
    }
    app.removeEventFilter(&watch);
    std::printf("entered=%.3f\nfirstRequest=%.3f\nshown=%.3f\npainted=%.3f\nadLoaded=%.3f\nad=%.3f\n", enteredMs,
                watch.firstRequestMs, watch.shownMs, watch.paintedMs, loadedMs, adMs);
    return rc;
}

int runBare(int argc, char **argv, const QString &address)
{
    const double enteredMs = bench::msSinceSpawn();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    double loadedMs = -1;
    double startedMs = -1;
    {
        QWebEngineProfile profile;
        QWebEnginePage page(&profile);
        QObject::connect(&page, &QWebEnginePage::loadStarted, &app, [&] {
            if (startedMs < 0)
                startedMs = bench::msSinceSpawn();
        });
        QObject::connect(&page, &QWebEnginePage::loadFinished, &app, [&](bool ok) {
            if (ok)
                loadedMs = bench::msSinceSpawn();
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
        });
        QTimer::singleShot(30000, &app, &QCoreApplication::quit);
        page.load(QUrl(address));
        QApplication::exec();
    }
    std::printf("entered=%.3f\nstarted=%.3f\nloaded=%.3f\n", enteredMs, startedMs, loadedMs);
    return 0;
}

QHash<QString, double> sample(const QStringList &args)
{
    QProcess p;
    bench::startChild(p, args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return bench::readFigures(p.readAllStandardOutput());
}

void BM_StartUp(benchmark::State &state)
{
    const QString ad = QStringLiteral(ONDRIX_BENCH_HOME_PAGE "/ad/365.htm");
    std::vector<double> shown, painted, adLoaded, adIn, bare, programEntered, bareEntered, firstRequest, bareStarted;
    // One unmeasured round of each, so neither pays for a cold disk cache.
    sample({QStringLiteral("--child=program")});
    sample({QStringLiteral("--child=bare"), ad});
    for (auto _ : state) {
        const auto p = sample({QStringLiteral("--child=program")});
        const auto b = sample({QStringLiteral("--child=bare"), ad});
        if (p.value(QStringLiteral("shown"), -1) < 0 || p.value(QStringLiteral("ad"), -1) < 0
            || p.value(QStringLiteral("adLoaded"), -1) < 0 || b.value(QStringLiteral("loaded"), -1) < 0
            || p.value(QStringLiteral("firstRequest"), -1) < 0 || b.value(QStringLiteral("started"), -1) < 0) {
            state.SkipWithError("a child did not get there (ONDRIX_BENCH_VERBOSE=1 shows its stderr)");
            return;
        }
        shown.push_back(p[QStringLiteral("shown")]);
        painted.push_back(p[QStringLiteral("painted")]);
        adIn.push_back(p[QStringLiteral("ad")]);
        adLoaded.push_back(p[QStringLiteral("adLoaded")]);
        programEntered.push_back(p[QStringLiteral("entered")]);
        bare.push_back(b[QStringLiteral("loaded")]);
        bareEntered.push_back(b[QStringLiteral("entered")]);
        firstRequest.push_back(p[QStringLiteral("firstRequest")]);
        bareStarted.push_back(b[QStringLiteral("started")]);
        state.SetIterationTime(shown.back() / 1e3);
    }
    // Medians: one slow fork or page-cache miss should not move the figure.
    state.counters["program_shown_ms"] = bench::median(shown);
    state.counters["program_painted_ms"] = bench::median(painted);
    state.counters["program_ad_ms"] = bench::median(adIn);
    state.counters["program_ad_loaded_ms"] = bench::median(adLoaded);
    state.counters["bare_loaded_ms"] = bench::median(bare);
    state.counters["program_main_ms"] = bench::median(programEntered);
    state.counters["bare_main_ms"] = bench::median(bareEntered);
    state.counters["shown_vs_bare"] = bench::median(shown) / bench::median(bare);
    state.counters["ad_vs_bare"] = bench::median(adIn) / bench::median(bare);
    state.counters["ad_loaded_vs_bare"] = bench::median(adLoaded) / bench::median(bare);
    // Start-up's own work before the first request, the desktop's proxy among it.
    state.counters["program_first_request_ms"] = bench::median(firstRequest);
    state.counters["bare_first_request_ms"] = bench::median(bareStarted);
    state.counters["first_request_vs_bare"] = bench::median(firstRequest) / bench::median(bareStarted);
}
BENCHMARK(BM_StartUp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char **argv)
{
    return bench::childOrBenchmarks(argc, argv, runProgram, runBare);
}
