// The demo site on the addresses built into the program, for benchmarks that
// run the real start-up path (Module1::Main reads only the built-in ones).
#pragma once

#include <benchmark/benchmark.h>
#include <cstdio>

#include <QApplication>
#include <QCoreApplication>
#include <QHostAddress>
#include <QUrl>

#include "DemoSite.h"
#include "WebEngineSession.h"

#ifndef ONDRIX_BENCH_SITE_BASE
#error "ONDRIX_BENCH_SITE_BASE must be the built-in site address"
#endif
#ifndef ONDRIX_BENCH_HOME_PAGE
#error "ONDRIX_BENCH_HOME_PAGE must be the built-in home address"
#endif

namespace bench {

inline bool startBuiltInSite(DemoSite &site, QString *error, const QStringList &extra = {})
{
    const QUrl siteBase(QStringLiteral(ONDRIX_BENCH_SITE_BASE));
    const QUrl home(QStringLiteral(ONDRIX_BENCH_HOME_PAGE));
    for (const QUrl &u : {siteBase, home}) {
        if (!QHostAddress(u.host()).isLoopback() || u.port() <= 0
            || (u.path() != QString() && u.path() != QLatin1String("/"))) {
            *error = QStringLiteral("built-in address %1 is not a loopback demo-site address").arg(u.toString());
            return false;
        }
    }
    for (const QUrl &u : {siteBase, home}) {
        if (!DemoSite::portFree(u.host(), u.port())) {
            *error = QStringLiteral("port %1 is taken (another demo site?); tools/bench.sh runs this in a private "
                                    "network namespace")
                         .arg(u.port());
            return false;
        }
    }
    // Later options win, so these override the free ports DemoSite asks for.
    if (!site.start(QStringList {QStringLiteral("--bind"), siteBase.host(), QStringLiteral("--home-bind"), home.host(),
                                 QStringLiteral("--site-port"), QString::number(siteBase.port()),
                                 QStringLiteral("--home-port"), QString::number(home.port())}
                    + extra)) {
        *error = site.errorString();
        return false;
    }
    return true;
}

// The entry of a benchmark that samples fresh processes: "--child=program"
// and "--child=bare ADDRESS" take one sample each; without them the demo site
// starts on the built-in ports and the benchmarks run.
template<typename Program, typename Bare>
int childOrBenchmarks(int argc, char **argv, Program runProgram, Bare runBare, const QStringList &siteArgs = {})
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (argc >= 2 && qstrcmp(argv[1], "--child=program") == 0)
        return runProgram(1, argv);
    if (argc >= 3 && qstrcmp(argv[1], "--child=bare") == 0)
        return runBare(1, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    DemoSite site;
    QString error;
    if (!startBuiltInSite(site, &error, siteArgs)) {
        std::fprintf(stderr, "demo site: %s\n", qPrintable(error));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The entry of a benchmark that runs in this process against the demo site
// on free ports, with the engine set up; `site` points at it meanwhile.
inline int onDemoSite(int argc, char **argv, DemoSite *&site, const QStringList &siteArgs = {})
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    DemoSite running;
    if (!running.start(siteArgs)) {
        std::fprintf(stderr, "demo site: %s\n", qPrintable(running.errorString()));
        return 1;
    }
    site = &running;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench
