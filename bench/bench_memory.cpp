// Memory of the whole process tree (the process and its engine processes),
// summed PSS from /proc/<pid>/smaps_rollup, each sample a fresh process:
//   program:  the program's start-up path (WebEngineSession, Module1::Main),
//             then a search, a click on the first row (file page, its
//             download into a temporary folder), with the advertisement page
//             already in: the three hidden browsers each hold a page;
//   three:    the same start-up, a search, and three rows clicked in a row,
//             whose file pages count down before their downloads: three file
//             pages open at once (W2 and two made for the clicks), then done;
//   bare:     a plain QWebEnginePage that loaded the same advertisement page,
//             with the engine's defaults.
// The child says "ready", the parent measures twice, once things settled
// ("live": every page still in its renderer) and once the pages had the
// time to rest ("at rest"), and closes the child's stdin to let it end.
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
#include "DownloadWatch.h"
#include "Form1.h"
#include "Module1.h"
#include "WebEngineBrowser.h"
#include "WebEngineSession.h"

namespace {

// The countdown of the "请稍候" pages the three clicks lead to: long enough
// to measure them open, short enough to see them done.
constexpr int CountdownSeconds = 8;
// Which sample a child takes.
constexpr char ClicksEnv[] = "ONDRIX_BENCH_CLICKS";

int fail(const char *what)
{
    std::printf("error=%s\n", what);
    return 1;
}

bool search(Form1 &form, const QString &keyword)
{
    form.Text1->setText(keyword);
    int key = 13;
    form.Text1_KeyPress(key);
    return bench::spinUntil([&] { return form.Label8->isHidden() && form.List1->count() > 0; });
}

int runProgram(int argc, char **argv)
{
    const bool three = qEnvironmentVariableIntValue(ClicksEnv) == 3;
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
    if (!search(*form, three ? QStringLiteral("批量样本") : QStringLiteral("教程")))
        return fail("search");

    if (three) {
        for (int row = 0; row < 3; ++row)
            form->Label3_Click(row);
        // Their file pages and countdown pages are in; no download yet.
        const auto opening = [&] {
            int n = 0;
            for (const DownloadEntry &e : session.downloads()->entries())
                n += e.state == DownloadEntry::State::Opening;
            return n;
        };
        bench::spinUntil([] { return false; }, 3000);
        if (form->filePagesInUse() != 3 || opening() != 3)
            return fail("three file pages");
    } else {
        const DownloadWatch watch(session.downloads());
        form->Label3_Click(0);
        if (!bench::spinUntil([&] { return form->W2->hasDocument() && !watch.landed().isEmpty(); }, 60000))
            return fail("file page and its download");
        // Which pages share an engine process, once all three are live.
        const auto renderer = [](Browser *b) { return qobject_cast<WebEngineBrowser *>(b)->rendererPid(); };
        const qint64 w1 = renderer(form->W1), w2 = renderer(form->W2), w3 = renderer(form->W3);
        std::printf("results_file_share=%d\nad_shares=%d\n", w1 == w2, w3 == w1 || w3 == w2);
    }
    bench::sayReadyAndWait(app);
    form.reset();
    return 0;
}

using bench::Footprint;
using bench::Sample;

// The program's samples and the bare one's, the medians of each.
struct Series
{
    std::vector<double> live, liveMain, rest, restMain, restPrivate;
    void add(const Sample &s)
    {
        live.push_back(s.live.totalMb);
        liveMain.push_back(s.live.mainMb);
        rest.push_back(s.atRest.totalMb);
        restMain.push_back(s.atRest.mainMb);
        restPrivate.push_back(s.atRest.privateMb);
    }
};

// The bare engine's figures at rest, one a sample.
struct BareSeries
{
    std::vector<double> total, main, privateMb;
};

void printLastTrees(const Sample &program, const Sample &three, const Sample &bare)
{
    std::fprintf(stderr, "program process tree, live (last sample):    %s\n",
                 qPrintable(program.live.detail.join(QStringLiteral("; "))));
    std::fprintf(stderr, "three file pages, live (last sample):        %s\n",
                 qPrintable(three.live.detail.join(QStringLiteral("; "))));
    std::fprintf(stderr, "program process tree, at rest (last sample): %s\n",
                 qPrintable(program.atRest.detail.join(QStringLiteral("; "))));
    std::fprintf(stderr, "bare process tree (last sample):             %s\n",
                 qPrintable(bare.atRest.detail.join(QStringLiteral("; "))));
}

void setCounters(benchmark::State &state, const Series &one, const Series &three, const BareSeries &bare,
                 const Sample &lastProgram, const Sample &lastBare)
{
    using bench::median;
    const double bareMb = median(bare.total);
    state.counters["program_live_MB"] = median(one.live);
    state.counters["program_live_main_MB"] = median(one.liveMain);
    state.counters["program_live_processes"] = lastProgram.live.processes;
    state.counters["live_vs_bare"] = median(one.live) / bareMb;
    state.counters["program_MB"] = median(one.rest);
    state.counters["program_main_MB"] = median(one.restMain);
    state.counters["program_processes"] = lastProgram.atRest.processes;
    state.counters["program_vs_bare"] = median(one.rest) / bareMb;
    state.counters["three_live_MB"] = median(three.live);
    state.counters["three_live_vs_bare"] = median(three.live) / bareMb;
    state.counters["three_done_MB"] = median(three.rest);
    state.counters["three_done_vs_bare"] = median(three.rest) / bareMb;
    state.counters["bare_MB"] = bareMb;
    state.counters["bare_main_MB"] = median(bare.main);
    state.counters["bare_processes"] = lastBare.atRest.processes;
    state.counters["program_private_MB"] = median(one.restPrivate);
    state.counters["bare_private_MB"] = median(bare.privateMb);
    state.counters["private_vs_bare"] = median(one.restPrivate) / median(bare.privateMb);
    // Isolation, from the live pages: the advertisement site never shares.
    state.counters["results_file_share_renderer"] = lastProgram.figures.value(QStringLiteral("results_file_share"));
    state.counters["ad_shares_renderer"] = lastProgram.figures.value(QStringLiteral("ad_shares"));
}

void BM_Memory(benchmark::State &state)
{
    const QString ad = QStringLiteral(ONDRIX_BENCH_HOME_PAGE "/ad/365.htm");
    Series one, three;
    BareSeries bare;
    Sample lastProgram, lastThree, lastBare;
    for (auto _ : state) {
        lastProgram = bench::measureChild({QStringLiteral("--child=program")}, true);
        // Done once their countdowns ended and W2 had its rest after them.
        qputenv(ClicksEnv, "3");
        lastThree = bench::measureChild({QStringLiteral("--child=program")}, true, CountdownSeconds * 1000);
        qunsetenv(ClicksEnv);
        lastBare = bench::measureChild({QStringLiteral("--child=bare"), ad}, false);
        if (lastProgram.atRest.totalMb < 0 || lastThree.atRest.totalMb < 0 || lastBare.atRest.totalMb < 0) {
            state.SkipWithError("a child did not get ready (ONDRIX_BENCH_VERBOSE=1 shows its stderr)");
            return;
        }
        const Footprint &b = lastBare.atRest;
        std::fprintf(stderr,
                     "sample: one file page live %.1f MB, at rest %.1f MB; three file pages live %.1f MB, done "
                     "%.1f MB; bare %.1f MB PSS\n",
                     lastProgram.live.totalMb, lastProgram.atRest.totalMb, lastThree.live.totalMb,
                     lastThree.atRest.totalMb, b.totalMb);
        one.add(lastProgram);
        three.add(lastThree);
        bare.total.push_back(b.totalMb);
        bare.main.push_back(b.mainMb);
        bare.privateMb.push_back(b.privateMb);
        state.SetIterationTime(1);
    }
    printLastTrees(lastProgram, lastThree, lastBare);
    setCounters(state, one, three, bare, lastProgram, lastBare);
}
BENCHMARK(BM_Memory)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    return bench::childOrBenchmarks(argc, argv, runProgram, bench::runBare,
                                    {QStringLiteral("--wait-seconds"), QString::number(CountdownSeconds)});
}
