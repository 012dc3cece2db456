// Helpers the process-level benchmarks share: a clock that means the same in
// parent and child, re-running this executable in a child mode, summing the
// memory of a process tree, and medians.
#pragma once

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "RealWindow.h"

namespace bench {

using ::spinUntil;
using ::processTree;
using ::pssKb;
using ::privateKb;

// CLOCK_MONOTONIC is system-wide, so a child can report its moments against
// the instant the parent started it.
inline qint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

constexpr char StartEnv[] = "ONDRIX_BENCH_T0";

// Milliseconds since the parent started this process (its ONDRIX_BENCH_T0).
inline double msSinceSpawn()
{
    const qint64 t0 = qgetenv(StartEnv).toLongLong();
    return double(monotonicNs() - t0) / 1e6;
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// This executable again, in a child mode; stderr is dropped (the engine is
// chatty) unless ONDRIX_BENCH_VERBOSE is set.
inline void startChild(QProcess &p, const QStringList &args)
{
    if (qEnvironmentVariableIsSet("ONDRIX_BENCH_VERBOSE"))
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else
        p.setStandardErrorFile(QProcess::nullDevice());
    // The clock starts as late as possible, right before the fork.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(StartEnv), QString::number(monotonicNs()));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), args);
}

// "key=value" lines a child printed, last one wins.
inline QHash<QString, double> readFigures(const QByteArray &out)
{
    QHash<QString, double> figures;
    for (const QByteArray &line : out.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            figures.insert(QString::fromLatin1(line.left(eq).trimmed()), line.mid(eq + 1).trimmed().toDouble());
    }
    return figures;
}

inline QString commandName(int pid)
{
    QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QFileInfo(QString::fromLocal8Bit(f.readAll().split('\0').value(0))).fileName();
}

} // namespace bench
