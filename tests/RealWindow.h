#pragma once

// The real window on the real engine, for the engine tests, the soak and the
// benchmarks: a wait that lets events run, the window set up against a site,
// and the process tree whose memory they measure.

#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QList>

#include "Form1.h"
#include "Main.h"
#include "SharedState.h"
#include "WebEngineSession.h"

// Lets events run until done() holds; false after timeoutMs. QTest::qWaitFor
// sleeps in steps that cost seconds while the window animates.
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

// Services that reach nothing outside: no browser, no prompt, no quitting.
inline Form1Services inertServices()
{
    Form1Services services;
    services.openUrl = [](const QUrl &) {};
    services.askUpdate = [](QWidget *) { return false; };
    services.mayQuit = [](QWidget *) { return true; };
    services.quit = [] {};
    return services;
}

// Fresh shared state pointing at the given sites, as start-up leaves it.
inline void pointAt(const QString &siteBase, const QString &homePage)
{
    shared() = SharedState {};
    shared().AppVersion = 2.01;
    shared().SiteBase = siteBase;
    shared().HomePageAddress = homePage;
}

inline std::unique_ptr<Form1> realWindow(WebEngineSession &session, Form1Services services = inertServices())
{
    return std::make_unique<Form1>(Module1::engineBrowsers(session), std::move(services));
}

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
