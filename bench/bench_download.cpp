// Download throughput of the largest demo file: through the program's engine
// path (a hidden browser of a WebEngineSession navigating to /d/ID, the
// DownloadManager saving into a temporary folder) next to curl fetching the
// same address, alternating, in one run against the demo site.
#include <cstdio>
#include <vector>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "BenchProcess.h"
#include "Browser.h"
#include "BuiltInSite.h"
#include "DemoSite.h"
#include "DownloadManager.h"
#include "WebEngineSession.h"

namespace {

DemoSite *g_site = nullptr;

struct LargestFile {
    QString id;
    qint64 bytes = 0;
};

// From the catalogue: id<TAB>title<TAB>size text<TAB>points<TAB>bytes.
LargestFile largestFile()
{
    LargestFile best;
    QFile f(QStringLiteral(ONDRIX_DEMO_CATALOGUE));
    if (!f.open(QIODevice::ReadOnly))
        return best;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 5)
            continue;
        const qint64 bytes = fields[4].trimmed().toLongLong();
        if (bytes > best.bytes)
            best = {QString::fromUtf8(fields[0]), bytes};
    }
    return best;
}

void BM_Download(benchmark::State &state)
{
    const LargestFile file = largestFile();
    const QString url = g_site->siteBase() + QStringLiteral("/d/") + file.id;
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (file.bytes <= 0 || curl.isEmpty()) {
        state.SkipWithError("no catalogue or no curl");
        return;
    }

    QTemporaryDir dir;
    WebEngineSession session;
    session.downloads()->setDownloadDirectory(dir.path());
    session.downloads()->setWidgetsVisible(false);
    Browser *browser = session.createBrowser(nullptr);
    QString path;
    bool done = false, ok = false;
    QObject::connect(session.downloads(), &DownloadManager::downloadFinished, [&](const QString &p, bool good) {
        path = p;
        ok = good;
        done = true;
    });

    // Navigate to download finished; the file is checked and removed after.
    auto engineOnce = [&]() -> double {
        done = ok = false;
        QElapsedTimer t;
        t.start();
        browser->Navigate(url);
        browser->allowUserAction(1, 0);
        if (!bench::spinUntil([&] { return done; }, 60000) || !ok)
            return -1;
        const double ms = t.nsecsElapsed() / 1e6;
        const qint64 size = QFileInfo(path).size();
        QFile::remove(path);
        return size == file.bytes ? ms : -1;
    };
    auto curlOnce = [&]() -> double {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(curl, {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), QStringLiteral("/dev/null"), url});
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return -1;
        return t.nsecsElapsed() / 1e6;
    };

    // Warm-up: the first engine download also starts the renderer.
    engineOnce();
    curlOnce();
    std::vector<double> engineMs, curlMs;
    for (auto _ : state) {
        const double e = engineOnce();
        const double c = curlOnce();
        if (e < 0 || c < 0) {
            state.SkipWithError("a download failed");
            break;
        }
        engineMs.push_back(e);
        curlMs.push_back(c);
        state.SetIterationTime(e / 1e3);
    }
    delete browser;
    if (engineMs.empty())
        return;
    // MB = 10^6 bytes; from the median time of each side.
    const double mb = file.bytes / 1e6;
    const double engine = mb / (bench::median(engineMs) / 1e3);
    const double reference = mb / (bench::median(curlMs) / 1e3);
    state.SetBytesProcessed(int64_t(state.iterations()) * file.bytes);
    state.counters["file_MB"] = mb;
    state.counters["engine_ms"] = bench::median(engineMs);
    state.counters["curl_ms"] = bench::median(curlMs);
    state.counters["engine_MBps"] = engine;
    state.counters["curl_MBps"] = reference;
    state.counters["engine_vs_curl"] = engine / reference;
}
BENCHMARK(BM_Download)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char **argv)
{
    return bench::onDemoSite(argc, argv, g_site);
}
