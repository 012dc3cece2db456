// Helpers the process-level benchmarks and the soak share: a clock that means
// the same in parent and child, re-running this executable in a child mode,
// the memory of a process tree, and medians.
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

// The process and everything below it (the engine's zygote, renderer, GPU and
// utility processes are children or grandchildren).
inline QList<int> processTree(int root)
{
    QHash<int, QList<int>> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        // The command name may hold spaces and parentheses: fields start after the last ')'.
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            children[fields[1].toInt()].append(pid);
    }
    QList<int> tree {root};
    for (qsizetype i = 0; i < tree.size(); ++i)
        tree += children.value(tree[i]);
    return tree;
}

// From smaps_rollup, in kB: "Pss:" is the proportional set size (shared
// pages split among their users, so a sum over processes counts shared
// libraries once; it drops when unrelated processes map the same libraries);
// "Private_Clean:" + "Private_Dirty:" is what only this process holds.
inline qint64 smapsKb(int pid, const QList<QByteArray> &fields)
{
    QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    qint64 kb = 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        for (const QByteArray &field : fields) {
            if (line.startsWith(field))
                kb += line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return kb;
}

inline qint64 pssKb(int pid)
{
    return smapsKb(pid, {QByteArrayLiteral("Pss:")});
}

inline qint64 privateKb(int pid)
{
    return smapsKb(pid, {QByteArrayLiteral("Private_Clean:"), QByteArrayLiteral("Private_Dirty:")});
}

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
