// Memory of the whole process tree (the process and its engine processes),
// summed PSS from /proc/<pid>/smaps_rollup, each sample a fresh process:
//   program: the program's start-up path (WebEngineSession, Module1::Main),
//            then a search, a click on the first row (file page, its
//            download into a temporary folder), with the advertisement page
//            already in: the three hidden browsers each hold a page;
//   bare:    a plain QWebEnginePage that loaded the same advertisement page,
//            with the engine's defaults.
// The child says "ready", the parent measures twice, once things settled
// ("live": all three pages still in their renderers) and once the pages had
// the time to rest ("at rest"), and closes the child's stdin to let it end.
// PSS depends on what else maps the same libraries (other engine processes
// on the machine lower it), so the private (unshared) sum is given as well;
// run on a quiet machine.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <vector>

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchProcess.h"
#include "Browser.h"
#include "BuiltInSite.h"
#include "ChildProgram.h"
#include "ClickLabel.h"
#include "DownloadManager.h"
#include "Form1.h"
#include "Module1.h"
#include "WebEngineBrowser.h"
#include "WebEngineSession.h"

namespace {

int fail(const char *what)
{
    std::printf("error=%s\n", what);
    return 1;
}

int runProgram(int argc, char **argv)
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    Module1::describeApplication();
    Module1::prepareWindow();
    QTemporaryDir downloads;
    WebEngineSession session;
    session.downloads()->folder().setPath(downloads.path());
    std::unique_ptr<Form1> form(Module1::Main(session));
    if (!bench::spinUntil([&] { return form->W3->hasDocument(); }))
        return fail("advertisement page");

    form->Text1->setText(QStringLiteral("教程"));
    int key = 13;
    form->Text1_KeyPress(key);
    if (!bench::spinUntil([&] { return form->Label8->isHidden() && form->List1->count() > 0; }))
        return fail("search");

    bool finished = false;
    QObject::connect(session.downloads(), &DownloadManager::downloadFinished,
                     [&](const QString &, bool ok) { finished = ok; });
    form->Label3_Click(0);
    if (!bench::spinUntil([&] { return form->W2->hasDocument() && finished; }, 60000))
        return fail("file page and its download");

    // Which pages share an engine process, once all three are live.
    const auto renderer = [](Browser *b) { return qobject_cast<WebEngineBrowser *>(b)->rendererPid(); };
    const qint64 w1 = renderer(form->W1), w2 = renderer(form->W2), w3 = renderer(form->W3);
    std::printf("results_file_share=%d\nad_shares=%d\n", w1 == w2, w3 == w1 || w3 == w2);
    bench::sayReadyAndWait(app);
    form.reset();
    return 0;
}

using bench::Footprint;
using bench::Sample;

Sample measure(const QStringList &args, bool rests)
{
    return bench::measureChild(args, rests);
}

void BM_Memory(benchmark::State &state)
{
    const QString ad = QStringLiteral(ONDRIX_BENCH_HOME_PAGE "/ad/365.htm");
    std::vector<double> live, liveMain, rest, restMain, restPrivate, bare, bareMain, barePrivate;
    Sample lastProgram, lastBare;
    for (auto _ : state) {
        lastProgram = measure({QStringLiteral("--child=program")}, true);
        lastBare = measure({QStringLiteral("--child=bare"), ad}, false);
        if (lastProgram.atRest.totalMb < 0 || lastBare.atRest.totalMb < 0) {
            state.SkipWithError("a child did not get ready (ONDRIX_BENCH_VERBOSE=1 shows its stderr)");
            return;
        }
        const Footprint &b = lastBare.atRest;
        std::fprintf(stderr,
                     "sample: program live %.1f MB PSS (main %.1f, %d processes), at rest %.1f MB (main %.1f, %d "
                     "processes, %.1f MB private); bare %.1f MB PSS (main %.1f, %d processes, %.1f MB private)\n",
                     lastProgram.live.totalMb, lastProgram.live.mainMb, lastProgram.live.processes,
                     lastProgram.atRest.totalMb, lastProgram.atRest.mainMb, lastProgram.atRest.processes,
                     lastProgram.atRest.privateMb, b.totalMb, b.mainMb, b.processes, b.privateMb);
        live.push_back(lastProgram.live.totalMb);
        liveMain.push_back(lastProgram.live.mainMb);
        rest.push_back(lastProgram.atRest.totalMb);
        restMain.push_back(lastProgram.atRest.mainMb);
        restPrivate.push_back(lastProgram.atRest.privateMb);
        bare.push_back(b.totalMb);
        bareMain.push_back(b.mainMb);
        barePrivate.push_back(b.privateMb);
        state.SetIterationTime(1);
    }
    std::fprintf(stderr, "program process tree, live (last sample):    %s\n",
                 qPrintable(lastProgram.live.detail.join(QStringLiteral("; "))));
    std::fprintf(stderr, "program process tree, at rest (last sample): %s\n",
                 qPrintable(lastProgram.atRest.detail.join(QStringLiteral("; "))));
    std::fprintf(stderr, "bare process tree (last sample):             %s\n",
                 qPrintable(lastBare.atRest.detail.join(QStringLiteral("; "))));
    const double bareMb = bench::median(bare);
    state.counters["program_live_MB"] = bench::median(live);
    state.counters["program_live_main_MB"] = bench::median(liveMain);
    state.counters["program_live_processes"] = lastProgram.live.processes;
    state.counters["live_vs_bare"] = bench::median(live) / bareMb;
    state.counters["program_MB"] = bench::median(rest);
    state.counters["program_main_MB"] = bench::median(restMain);
    state.counters["program_processes"] = lastProgram.atRest.processes;
    state.counters["bare_MB"] = bareMb;
    state.counters["bare_main_MB"] = bench::median(bareMain);
    state.counters["bare_processes"] = lastBare.atRest.processes;
    state.counters["program_vs_bare"] = bench::median(rest) / bareMb;
    state.counters["program_private_MB"] = bench::median(restPrivate);
    state.counters["bare_private_MB"] = bench::median(barePrivate);
    state.counters["private_vs_bare"] = bench::median(restPrivate) / bench::median(barePrivate);
    // Isolation, from the live pages: the advertisement site never shares.
    state.counters["results_file_share_renderer"] = lastProgram.figures.value(QStringLiteral("results_file_share"));
    state.counters["ad_shares_renderer"] = lastProgram.figures.value(QStringLiteral("ad_shares"));
}
BENCHMARK(BM_Memory)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    return bench::childOrBenchmarks(argc, argv, runProgram, bench::runBare);
}
