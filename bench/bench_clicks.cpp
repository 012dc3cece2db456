// Rows clicked one after another, faster than their file pages answer (each
// takes a second, then counts down three before its download): the time
// from the first click until every file landed, for 1, 4 and 10 clicks, next
// to N times the time of one click in the same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>

#include "BuiltInSite.h"
#include "ClickLabel.h"
#include "DemoSite.h"
#include "DownloadManager.h"
#include "DownloadWatch.h"
#include "Form1.h"
#include "RealWindow.h"
#include "SharedState.h"
#include "WebEngineSession.h"

namespace {

DemoSite *g_site = nullptr;
double g_oneClickMs = 0; // the 1-click figure, measured first

void BM_ClicksInARow(benchmark::State &state)
{
    const int clicks = int(state.range(0));
    QTemporaryDir folder;
    WebEngineSession session;
    DownloadManager &downloads = *session.downloads();
    downloads.folder().setPath(folder.path());
    resetShared(g_site->siteBase(), g_site->homePage());
    const auto window = realWindow(session);
    Form1 &form = *window;
    form.show();
    form.Text1->setText(QStringLiteral("批量样本"));
    int key = 13;
    form.Text1_KeyPress(key);
    if (!spinUntil([&] { return form.Label8->isHidden() && form.List1->count() >= clicks; })) {
        state.SkipWithError("no results");
        return;
    }
    const DownloadWatch watch(&downloads);
    double total = 0;
    for (auto _ : state) {
        const qsizetype before = watch.landed().size();
        const auto landed = [&] { return watch.landed().size() - before; };
        QElapsedTimer t;
        t.start();
        for (int row = 0; row < clicks; ++row)
            form.Label3_Click(row);
        if (!spinUntil([&] { return landed() >= clicks; }, 180000)) {
            state.SkipWithError("not every file landed");
            return;
        }
        const double ms = t.nsecsElapsed() / 1e6;
        total += ms;
        state.SetIterationTime(ms / 1e3);
        // The next round saves the same files again.
        downloads.clearEnded();
        for (const QString &name : QDir(folder.path()).entryList(QDir::Files))
            QFile::remove(QDir(folder.path()).filePath(name));
    }
    const double mean = total / double(state.iterations());
    if (clicks == 1)
        g_oneClickMs = mean;
    state.counters["clicks"] = clicks;
    state.counters["all_landed_ms"] = mean;
    state.counters["n_times_one_ms"] = clicks * g_oneClickMs;
    state.counters["vs_n_times_one"] = g_oneClickMs > 0 ? mean / (clicks * g_oneClickMs) : 0;
}
BENCHMARK(BM_ClicksInARow)->Arg(1)->Arg(4)->Arg(10)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    return bench::onDemoSite(argc, argv, g_site, {QStringLiteral("--file-page-delay"), QStringLiteral("1000")});
}
