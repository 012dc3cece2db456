// Search latency: from Enter to the rows shown, next to the engine's own load
// of the same results page, in one run against the demo site.
#include <benchmark/benchmark.h>
#include <memory>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "Browser.h"
#include "BuiltInSite.h"
#include "ClickLabel.h"
#include "DemoSite.h"
#include "DownloadManager.h"
#include "Form1.h"
#include "RealWindow.h"
#include "SharedState.h"
#include "WebEngineSession.h"

namespace {

DemoSite *g_site = nullptr;

// Each iteration loads the results page once in a bare page and once through
// the program (Enter to rows shown), so both see the same machine state.
void BM_SearchLatency(benchmark::State &state)
{
    WebEngineSession session;
    resetShared(g_site->siteBase(), g_site->homePage());
    const auto window = realWindow(session);
    Form1 &form = *window;
    form.show();
    form.Text1->setText(QStringLiteral("教程"));

    QWebEngineProfile profile;
    QWebEnginePage bare(&profile);
    bool finished = false;
    QObject::connect(&bare, &QWebEnginePage::loadFinished, [&](bool) { finished = true; });
    const QUrl url(g_site->siteBase() + QStringLiteral("/search.php?key=%E6%95%99%E7%A8%8B"));

    QElapsedTimer t;
    double program = 0, engine = 0, toDocument = 0;
    qint64 stalled = 0;
    QObject::connect(form.W1, &Browser::DocumentComplete, [&] { toDocument += t.nsecsElapsed() / 1e6; });
    for (auto _ : state) {
        t.start();
        finished = false;
        bare.load(url);
        if (!spinUntil([&] { return finished; })) {
            state.SkipWithError("no load");
            return;
        }
        engine += t.nsecsElapsed() / 1e6;

        t.start();
        const StallWatch stalls(10);
        int key = 13;
        form.Text1_KeyPress(key);
        if (!spinUntil([&] { return form.Label8->isHidden(); })) {
            state.SkipWithError("no results");
            return;
        }
        const double ms = t.nsecsElapsed() / 1e6;
        stalled = qMax(stalled, stalls.longest());
        program += ms;
        state.SetIterationTime(ms / 1e3);
    }
    const double n = double(state.iterations());
    state.counters["program_ms"] = program / n;
    state.counters["engine_ms"] = engine / n;
    state.counters["to_document_ms"] = toDocument / n;
    state.counters["added_ms"] = (program - engine) / n;
    // The longest the window went without handling its events, in any search.
    state.counters["longest_stall_ms"] = double(stalled);
}
BENCHMARK(BM_SearchLatency)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace

int main(int argc, char **argv)
{
    return bench::onDemoSite(argc, argv, g_site);
}
