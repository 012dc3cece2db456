// What the memory figures share: a child that holds still once "ready" until
// its stdin closes, the bare one-page engine program they are compared with,
// and the footprint of a process tree measured from outside.
#pragma once

#include <cstdio>

#include <QApplication>
#include <QHash>
#include <QProcess>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "BenchProcess.h"
#include "WebEngineSession.h"

namespace bench {

inline void sayReadyAndWait(QCoreApplication &app)
{
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier stdinClosed(0, QSocketNotifier::Read);
    QObject::connect(&stdinClosed, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    QTimer::singleShot(120000, &app, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// The reference: a plain QWebEnginePage with the engine's defaults that
// loaded the address.
inline int runBare(int argc, char **argv, const QString &address)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWebEngineProfile profile;
    QWebEnginePage page(&profile);
    bool loaded = false;
    QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool ok) { loaded = ok; });
    page.load(QUrl(address));
    if (!spinUntil([&] { return loaded; })) {
        std::printf("error=bare page\n");
        return 1;
    }
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

inline Footprint footprint(int root)
{
    Footprint f;
    qint64 total = 0, unshared = 0;
    const QList<int> tree = processTree(root);
    for (int pid : tree) {
        const qint64 kb = pssKb(pid);
        total += kb;
        unshared += privateKb(pid);
        f.detail << QStringLiteral("%1 %2 MB").arg(commandName(pid)).arg(kb / 1024.0, 0, 'f', 1);
    }
    f.totalMb = total / 1024.0;
    f.privateMb = unshared / 1024.0;
    f.mainMb = pssKb(root) / 1024.0;
    f.processes = int(tree.size());
    return f;
}

// Settling time after "ready": renderers finish layout, buffers are released.
constexpr int SettleMs = 2000;
// Then the time the pages need to rest, and the engine to end the renderer
// processes nobody uses.
constexpr int RestMs = WebEngineSession::RestAfterMs + 3000;

struct Sample
{
    Footprint live;                 // SettleMs after "ready"
    Footprint atRest;               // RestMs later still, when asked for; else the live one
    QHash<QString, double> figures; // the "key=value" lines before "ready"
};

// Runs this executable with args, measures the child's tree once it is
// ready, then lets it end: live, and when it rests, once more after RestMs
// and restMoreMs. totalMb < 0 when it never got ready.
inline Sample measureChild(const QStringList &args, bool rests, int restMoreMs = 0)
{
    Sample sample;
    QProcess p;
    startChild(p, args);
    QByteArray out;
    while (p.waitForStarted(10000) && !out.contains("ready\n") && p.waitForReadyRead(90000))
        out += p.readAllStandardOutput();
    if (out.contains("ready\n")) {
        sample.figures = readFigures(out);
        QThread::msleep(SettleMs);
        sample.live = footprint(int(p.processId()));
        if (rests)
            QThread::msleep(RestMs + restMoreMs);
        sample.atRest = rests ? footprint(int(p.processId())) : sample.live;
    } else {
        std::fprintf(stderr, "child: %s\n", out.constData());
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    }
    return sample;
}

// The bare program's footprint once it loaded the address.
inline Footprint bareFootprint(const QString &address)
{
    return measureChild({QStringLiteral("--child=bare"), address}, false).live;
}

} // namespace bench
