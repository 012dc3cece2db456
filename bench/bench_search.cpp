// Search latency: from Enter to the rows shown, next to the engine's own load
// of the same results page, in one run against the demo site.
#include <memory>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "Browser.h"
#include "ClickLabel.h"
#include "DemoSite.h"
#include "DownloadManager.h"
#include "Form1.h"
#include "SharedState.h"
#include "WebEngineSession.h"

namespace {

DemoSite *g_site = nullptr;

template<typename Done>
bool spinUntil(Done done, int timeoutMs = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void BM_EnterToRows(benchmark::State &state)
{
    WebEngineSession session;
    session.downloads()->setWidgetsVisible(false);
    shared() = SharedState {};
    shared().SiteBase = g_site->siteBase();
    shared().HomePageAddress = g_site->homePage();
    Form1Services services = Form1Services::desktop();
    services.quit = [] {};
    Form1 form([&](const QString &, QObject *parent) { return session.createBrowser(parent); }, services);
    form.show();
    form.Text1->setText(QStringLiteral("教程"));
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        int key = 13;
        form.Text1_KeyPress(key);
        if (!spinUntil([&] { return form.Label8->isHidden(); })) {
            state.SkipWithError("no results");
            return;
        }
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
    }
}
BENCHMARK(BM_EnterToRows)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_EngineLoadOnly(benchmark::State &state)
{
    QWebEngineProfile profile;
    QWebEnginePage page(&profile);
    bool finished = false;
    QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool) { finished = true; });
    const QUrl url(g_site->siteBase() + QStringLiteral("/search.php?key=%E6%95%99%E7%A8%8B"));
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        finished = false;
        page.load(url);
        if (!spinUntil([&] { return finished; })) {
            state.SkipWithError("no load");
            return;
        }
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
    }
}
BENCHMARK(BM_EngineLoadOnly)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    DemoSite site;
    if (!site.start()) {
        fprintf(stderr, "demo site: %s\n", qPrintable(site.errorString()));
        return 1;
    }
    g_site = &site;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
