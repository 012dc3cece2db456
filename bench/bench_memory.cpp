// Memory of the whole process tree (the process and its engine processes),
// summed PSS from /proc/<pid>/smaps_rollup, each sample a fresh process:
//   program: the program's start-up path (WebEngineSession, Module1::Main),
//            then a search, a click on the first row (file page, its
//            download into a temporary folder), with the advertisement page
//            already in: the three hidden browsers each hold a page;
//   bare:    a plain QWebEnginePage that loaded the same advertisement page.
// The child says "ready", the parent waits for things to settle, measures,
// and closes the child's stdin to let it end. PSS depends on what else maps
// the same libraries (other engine processes on the machine lower it), so
// the private (unshared) sum is given as well; run on a quiet machine.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <vector>

#include <QApplication>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "BenchProcess.h"
#include "Browser.h"
#include "BuiltInSite.h"
#include "ClickLabel.h"
#include "DownloadManager.h"
#include "Form1.h"
#include "Main.h"
#include "WebEngineSession.h"

namespace {

void sayReadyAndWait(QApplication &app)
{
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier stdinClosed(0, QSocketNotifier::Read);
    QObject::connect(&stdinClosed, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    QTimer::singleShot(120000, &app, &QCoreApplication::quit);
    QApplication::exec();
}

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
    QTemporaryDir downloads;
    WebEngineSession session;
    session.downloads()->setDownloadDirectory(downloads.path());
    session.downloads()->setWidgetsVisible(false);
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

    sayReadyAndWait(app);
    form.reset();
    return 0;
}

int runBare(int argc, char **argv, const QString &address)
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    QWebEngineProfile profile;
    QWebEnginePage page(&profile);
    bool loaded = false;
    QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool ok) { loaded = ok; });
    page.load(QUrl(address));
    if (!bench::spinUntil([&] { return loaded; }))
        return fail("advertisement page");
    sayReadyAndWait(app);
    return 0;
}

struct Footprint
{
    double totalMb = -1;
    double mainMb = 0;
    double privateMb = 0;
    int processes = 0;
    QStringList detail;
};

// Settling time after "ready": renderers finish layout, the download's
// buffers are released.
constexpr int SettleMs = 2000;

Footprint measure(const QStringList &args)
{
    Footprint f;
    QProcess p;
    bench::startChild(p, args);
    if (!p.waitForStarted(10000))
        return f;
    QByteArray out;
    while (!out.contains("ready\n")) {
        if (!p.waitForReadyRead(90000))
            break;
        out += p.readAllStandardOutput();
    }
    if (out.contains("ready\n")) {
        QThread::msleep(SettleMs);
        qint64 total = 0, unshared = 0;
        const QList<int> tree = bench::processTree(int(p.processId()));
        for (int pid : tree) {
            const qint64 kb = bench::pssKb(pid);
            total += kb;
            unshared += bench::privateKb(pid);
            f.detail << QStringLiteral("%1 %2 MB").arg(bench::commandName(pid)).arg(kb / 1024.0, 0, 'f', 1);
        }
        f.totalMb = total / 1024.0;
        f.privateMb = unshared / 1024.0;
        f.mainMb = bench::pssKb(int(p.processId())) / 1024.0;
        f.processes = int(tree.size());
    } else {
        std::fprintf(stderr, "child: %s\n", out.constData());
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    }
    return f;
}

void BM_Memory(benchmark::State &state)
{
    const QString ad = QStringLiteral(ONDRIX_BENCH_HOME_PAGE "/ad/365.htm");
    std::vector<double> program, programMain, programPrivate, bare, bareMain, barePrivate;
    Footprint lastProgram, lastBare;
    for (auto _ : state) {
        lastProgram = measure({QStringLiteral("--child=program")});
        lastBare = measure({QStringLiteral("--child=bare"), ad});
        if (lastProgram.totalMb < 0 || lastBare.totalMb < 0) {
            state.SkipWithError("a child did not get ready (ONDRIX_BENCH_VERBOSE=1 shows its stderr)");
            return;
        }
        std::fprintf(stderr,
                     "sample: program %.1f MB PSS (main %.1f, %d processes, %.1f MB private), "
                     "bare %.1f MB PSS (main %.1f, %d processes, %.1f MB private)\n",
                     lastProgram.totalMb, lastProgram.mainMb, lastProgram.processes, lastProgram.privateMb,
                     lastBare.totalMb, lastBare.mainMb, lastBare.processes, lastBare.privateMb);
        program.push_back(lastProgram.totalMb);
        programPrivate.push_back(lastProgram.privateMb);
        barePrivate.push_back(lastBare.privateMb);
        programMain.push_back(lastProgram.mainMb);
        bare.push_back(lastBare.totalMb);
        bareMain.push_back(lastBare.mainMb);
        state.SetIterationTime(1);
    }
    std::fprintf(stderr, "program process tree (last sample): %s\n",
                 qPrintable(lastProgram.detail.join(QStringLiteral("; "))));
    std::fprintf(stderr, "bare process tree (last sample):    %s\n",
                 qPrintable(lastBare.detail.join(QStringLiteral("; "))));
    state.counters["program_MB"] = bench::median(program);
    state.counters["program_main_MB"] = bench::median(programMain);
    state.counters["program_processes"] = lastProgram.processes;
    state.counters["bare_MB"] = bench::median(bare);
    state.counters["bare_main_MB"] = bench::median(bareMain);
    state.counters["bare_processes"] = lastBare.processes;
    state.counters["program_vs_bare"] = bench::median(program) / bench::median(bare);
    state.counters["program_private_MB"] = bench::median(programPrivate);
    state.counters["bare_private_MB"] = bench::median(barePrivate);
    state.counters["private_vs_bare"] = bench::median(programPrivate) / bench::median(barePrivate);
}
BENCHMARK(BM_Memory)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    return bench::childOrBenchmarks(argc, argv, runProgram, runBare);
}
