// Search latency: from Enter to the rows shown, next to the engine's own load
// of the same results page, in one run against the demo site; and how long
// the window goes without handling its events on the demo site's worst
// results pages, next to that of an ordinary search.
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
qint64 g_ordinaryStallMs = 0; // the longest of BM_SearchLatency's searches

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
    g_ordinaryStallMs = stalled;
}
BENCHMARK(BM_SearchLatency)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// The pages that load and scan longest: 10 MB, 10,000 entries, 80,000 tags
// in a title, 6000 levels deep, 2 MB without sizes. The window must keep
// answering while it reads them (a stall of a second is one the user sees).
void BM_HostileStall(benchmark::State &state)
{
    static const char *const keys[] = {"__huge", "__many", "__tags", "__nested", "__nosize"};
    const QString key = QString::fromLatin1(keys[state.range(0)]);
    WebEngineSession session;
    resetShared(g_site->siteBase(), g_site->homePage());
    const auto window = realWindow(session);
    Form1 &form = *window;
    form.show();
    // A 10 MB page takes longer to come than the window waits for a site.
    form.setResultsDeadline(120000);
    qint64 stalled = 0;
    for (auto _ : state) {
        form.Text1->setText(key);
        QElapsedTimer t;
        t.start();
        const StallWatch stalls(10);
        int enter = 13;
        form.Text1_KeyPress(enter);
        if (!spinUntil([&] { return !form.Timer1->isActive() && form.List1->count() > 0; }, 120000)) {
            state.SkipWithError("no results");
            return;
        }
        stalled = qMax(stalled, stalls.longest());
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
    }
    state.SetLabel(key.toStdString());
    state.counters["longest_stall_ms"] = double(stalled);
    state.counters["ordinary_search_stall_ms"] = double(g_ordinaryStallMs);
}
BENCHMARK(BM_HostileStall)->DenseRange(0, 4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char **argv)
{
    return bench::onDemoSite(argc, argv, g_site, {QStringLiteral("--hostile")});
}
