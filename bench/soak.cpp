// ondrix-soak: drives the real window against the demo site for many rounds
// (search, page change, file download) and watches the memory of the program
// and its engine processes. Exits non-zero when a round goes wrong or memory
// keeps growing over the second half.
//
//   ondrix-soak [--rounds N] [--max-growth PERCENT] [--no-reference]
//
// A negative growth limit only reports. The rounds run in a child process;
// once they are done, this one measures the child's process tree right away
// and again once its pages rested, and then (unless --no-reference) a bare
// one-page engine program on the advertisement page, alone, for reference.
#include <algorithm>
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "BenchProcess.h"
#include "Browser.h"
#include "ChildProgram.h"
#include "ClickLabel.h"
#include "DemoSite.h"
#include "DownloadManager.h"
#include "DownloadWatch.h"
#include "Form1.h"
#include "RealWindow.h"
#include "SharedState.h"
#include "WebEngineSession.h"

namespace {

constexpr int WaitMs = 30000;

QHash<QString, qint64> catalogueBytes()
{
    QHash<QString, qint64> bytes;
    QFile f(QStringLiteral(ONDRIX_DEMO_CATALOGUE));
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> p = line.split('\t');
            if (p.size() >= 5 && !line.startsWith('#'))
                bytes.insert(QString::fromUtf8(p[0]), p[4].toLongLong());
        }
    }
    return bytes;
}

struct Memory
{
    qint64 programKb = 0; // this process
    qint64 engineKb = 0;  // its descendants: the engine's helper processes
    qint64 total() const { return programKb + engineKb; }
};

// Proportional set sizes of a process and all its descendants.
Memory treePss(int root)
{
    Memory memory;
    for (const int pid : bench::processTree(root))
        (pid == root ? memory.programKb : memory.engineKb) += bench::pssKb(pid);
    return memory;
}

class Soak
{
public:
    Soak(const QString &siteBase, const QString &homePage)
        : m_siteBase(siteBase)
        , m_bytes(catalogueBytes())
    {
        m_session.downloads()->folder().setPath(m_downloads.path());
        resetShared(siteBase, homePage);
        m_form = realWindow(m_session);
        // Runs after the window's own handler, i.e. once its scan has returned.
        QObject::connect(m_form->W1, &Browser::DocumentComplete, [this] { ++m_scans; });
        m_form->Form_Load();
        m_form->show();
    }

    bool ready()
    {
        return spinUntil([this] { return m_form->W3->hasDocument(); }, WaitMs);
    }

    // One round; an empty result means it went as expected.
    QString round(int n)
    {
        // Three pages, two pages, and single pages with "&" and quotes in titles.
        static const QStringList keys {QStringLiteral("教程"), QStringLiteral("Linux"), QStringLiteral("合集"),
                                       QStringLiteral("&"), QStringLiteral("中文")};
        const QString key = keys[n % keys.size()];

        m_form->Text1->setText(key);
        if (QString e = waitForScan([this] { QTest::keyClick(m_form->Text1, Qt::Key_Return); }); !e.isEmpty())
            return key + QStringLiteral(": search: ") + e;
        int page = 1;
        if (QString e = compareRows(key, page); !e.isEmpty())
            return key + QStringLiteral(": page 1: ") + e;

        if (m_form->Label2->isEnabled()) {
            if (QString e = waitForScan([this] { QTest::mouseClick(m_form->Label2, Qt::LeftButton); }); !e.isEmpty())
                return key + QStringLiteral(": next page: ") + e;
            ++page;
            if (QString e = compareRows(key, page); !e.isEmpty())
                return key + QStringLiteral(": page 2: ") + e;
            // Now and then back again, through the site's own link.
            if (n % 3 == 0) {
                if (!m_form->Label1->isEnabled())
                    return key + QStringLiteral(": previous page not offered");
                if (QString e = waitForScan([this] { QTest::mouseClick(m_form->Label1, Qt::LeftButton); });
                    !e.isEmpty())
                    return key + QStringLiteral(": previous page: ") + e;
                --page;
                if (QString e = compareRows(key, page); !e.isEmpty())
                    return key + QStringLiteral(": back to page 1: ") + e;
            }
        }
        return download(n);
    }

    Memory memory() const { return treePss(int(QCoreApplication::applicationPid())); }

private:
    template<typename Action> QString waitForScan(Action action)
    {
        const int before = m_scans;
        action();
        // The dots stop with the scan, or with the failure text.
        if (!spinUntil([&] { return m_scans > before || !m_form->Timer1->isActive(); }, WaitMs))
            return QStringLiteral("no results page within %1 s").arg(WaitMs / 1000);
        if (m_scans == before)
            return QStringLiteral("search failed");
        return {};
    }

    QString compareRows(const QString &key, int page)
    {
        const QList<DemoRow> expected = DemoSite::freeRows(m_siteBase, QUrl::toPercentEncoding(key), page);
        QStringList ids;
        for (const DemoRow &r : expected)
            ids << r.id;
        QStringList list;
        for (int i = 0; i < m_form->List1->count(); ++i)
            list << m_form->List1->item(i)->text();
        if (list != ids)
            return QStringLiteral("List1 %1, expected %2").arg(list.join(u','), ids.join(u','));
        for (int i = 0; i < Form1::RowCount; ++i) {
            const bool shown = m_form->Picture1[i]->isVisible();
            if (shown != (i < expected.size()))
                return QStringLiteral("row %1 %2").arg(i).arg(shown ? "shown" : "hidden");
            if (shown && m_form->Label3[i]->caption() != expected[i].caption)
                return QStringLiteral("row %1 reads \"%2\", expected \"%3\"")
                    .arg(i)
                    .arg(m_form->Label3[i]->caption(), expected[i].caption);
        }
        if (m_form->Label8->isVisible())
            return QStringLiteral("progress text still shown");
        return {};
    }

    QString download(int n)
    {
        int rows = 0;
        while (rows < Form1::RowCount && m_form->Picture1[rows]->isVisible())
            ++rows;
        if (rows == 0)
            return QStringLiteral("no row to click");
        const int row = n % rows;
        const QString id = m_form->List1->item(row)->text().trimmed();
        DownloadManager *downloads = m_session.downloads();
        const DownloadWatch watch(downloads);
        QTest::mouseClick(m_form->Label3[row], Qt::LeftButton);
        const auto ended = [&] {
            const QList<DownloadEntry> entries = downloads->entries();
            return !entries.isEmpty() && entries.last().hasEnded();
        };
        if (!spinUntil(ended, WaitMs))
            return QStringLiteral("download of %1 did not finish").arg(id);
        // A second download of the same click would start right after the first.
        spinUntil([] { return false; }, 150);
        const QString path = watch.landed().value(0);
        QString error;
        if (path.isEmpty())
            error = QStringLiteral("download of %1 failed").arg(id);
        else if (watch.started().size() != 1 || watch.landed().size() != 1)
            error = QStringLiteral("%1 started %2 downloads").arg(id).arg(watch.started().size());
        else if (QFileInfo(path).size() != m_bytes.value(id, -1))
            error = QStringLiteral("%1 is %2 bytes, expected %3")
                        .arg(id)
                        .arg(QFileInfo(path).size())
                        .arg(m_bytes.value(id));
        const QStringList files = QDir(m_downloads.path()).entryList(QDir::Files | QDir::Hidden);
        if (error.isEmpty() && files.size() != 1)
            error = QStringLiteral("%1 files in the download folder: %2").arg(files.size()).arg(files.join(u", "));
        // Keep the folder small whatever happened.
        for (const QString &f : files)
            QFile::remove(QDir(m_downloads.path()).filePath(f));
        return error;
    }

    QString m_siteBase;
    QHash<QString, qint64> m_bytes;
    QTemporaryDir m_downloads;
    WebEngineSession m_session;
    std::unique_ptr<Form1> m_form;
    int m_scans = 0;
};

// Growth over the second half of the run in percent, from a straight line
// fitted to its samples, so the saw-tooth of the engine's garbage collection
// does not decide by where it happens to stand at the ends.
double secondHalfGrowth(const QList<int> &at, const QList<qint64> &kb)
{
    const qsizetype first = kb.size() / 2;
    const qsizetype n = kb.size() - first;
    if (n < 2)
        return 0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (qsizetype i = first; i < kb.size(); ++i) {
        sx += at[i];
        sy += kb[i];
        sxx += double(at[i]) * at[i];
        sxy += double(at[i]) * kb[i];
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    const double intercept = (sy - slope * sx) / n;
    const double start = intercept + slope * at[first];
    const double end = intercept + slope * at.last();
    return start > 0 ? (end - start) / start * 100.0 : 0.0;
}

// The rounds, in the child: prints its progress and, once done, "ready";
// then holds still until its stdin closes. Exits as the run went.
int runRounds(int argc, char **argv, const QString &siteBase, const QString &homePage, int rounds, double maxGrowth)
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    Soak soak(siteBase, homePage);
    if (!soak.ready()) {
        std::printf("the advertisement page never loaded\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    QList<int> sampledAt;
    QList<qint64> samples;
    QList<Memory> parts;
    int failures = 0;
    for (int n = 1; n <= rounds; ++n) {
        const QString error = soak.round(n);
        if (!error.isEmpty()) {
            ++failures;
            std::printf("round %d FAILED: %s\n", n, qPrintable(error));
            if (failures >= 20) {
                std::printf("too many failures, stopping\n");
                break;
            }
        }
        if (n % 10 == 0 || n == 1) {
            sampledAt << n;
            parts << soak.memory();
            samples << parts.last().total();
            std::printf("round %4d  %7.1f MB  %6.1f s\n", n, samples.last() / 1024.0, clock.elapsed() / 1000.0);
        }
        std::fflush(stdout);
    }

    std::printf("\nrounds  memory (MB)  program  engine processes\n");
    for (qsizetype i = 0; i < samples.size(); ++i)
        std::printf("%6d  %11.1f  %7.1f  %7.1f\n", sampledAt[i], samples[i] / 1024.0, parts[i].programKb / 1024.0,
                    parts[i].engineKb / 1024.0);
    const double growth = secondHalfGrowth(sampledAt, samples);
    std::printf("\n%d rounds in %.1f s, %d failed; memory over the second half (fitted line): %+.1f %%\n", rounds,
                clock.elapsed() / 1000.0, failures, growth);
    const bool grew = maxGrowth >= 0 && growth >= maxGrowth;
    if (grew)
        std::printf("memory grew by %.1f %% over the second half (limit %.1f %%)\n", growth, maxGrowth);
    bench::sayReadyAndWait(app);
    return failures || grew ? 1 : 0;
}

int usage()
{
    std::fprintf(stderr, "usage: ondrix-soak [--rounds N] [--max-growth PERCENT] [--no-reference]\n");
    return 2;
}

struct SoakOptions
{
    int rounds = 500;
    double maxGrowth = 10.0;
    bool reference = true;
};

bool parse(const QStringList &args, SoakOptions &o)
{
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            o.rounds = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--max-growth") && i + 1 < args.size())
            o.maxGrowth = args[++i].toDouble();
        else if (args[i] == QLatin1String("--no-reference"))
            o.reference = false;
        else
            return false;
    }
    return true;
}

// Passes on the child's output until it says "ready"; false when it ended first.
bool forwardUntilReady(QProcess &child)
{
    QByteArray pending;
    while (child.waitForReadyRead(-1)) {
        pending += child.readAllStandardOutput();
        for (qsizetype nl; (nl = pending.indexOf('\n')) >= 0;) {
            const QByteArray line = pending.left(nl + 1);
            pending.remove(0, nl + 1);
            if (line == "ready\n")
                return true;
            std::fputs(line.constData(), stdout);
        }
        std::fflush(stdout);
    }
    return false;
}

// The bare one-page program beside the soak's figures; false when it did not get ready.
bool printReference(const QString &adPage, const bench::Footprint &live, const bench::Footprint &atRest)
{
    const bench::Footprint bare = bench::bareFootprint(adPage);
    if (bare.totalMb <= 0) {
        std::fprintf(stderr, "ondrix-soak: the bare reference program did not get ready\n");
        return false;
    }
    std::printf("bare one-page engine program on the advertisement page: %.1f MB PSS (%d processes)\n", bare.totalMb,
                bare.processes);
    std::printf("ratio to bare: %.2f right after the last round, %.2f at rest\n", live.totalMb / bare.totalMb,
                atRest.totalMb / bare.totalMb);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (argc >= 3 && qstrcmp(argv[1], "--child=bare") == 0)
        return bench::runBare(1, argv, QString::fromLocal8Bit(argv[2]));
    if (argc == 7 && qstrcmp(argv[1], "--child=soak") == 0)
        return runRounds(1, argv, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         QByteArray(argv[4]).toInt(), QByteArray(argv[5]).toDouble());

    QCoreApplication app(argc, argv);
    SoakOptions o;
    if (!parse(app.arguments(), o))
        return usage();
    DemoSite site;
    if (!site.start()) {
        std::fprintf(stderr, "ondrix-soak: %s\n", qPrintable(site.errorString()));
        return 1;
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child=soak"), site.siteBase(), site.homePage(), QString::number(o.rounds),
                 QString::number(o.maxGrowth), QStringLiteral("-")});
    const bool ready = forwardUntilReady(child);
    bench::Footprint live, atRest;
    if (ready) {
        QThread::msleep(bench::SettleMs);
        live = bench::footprint(int(child.processId()));
        QThread::msleep(bench::RestMs);
        atRest = bench::footprint(int(child.processId()));
    }
    child.closeWriteChannel();
    child.waitForFinished(-1);
    const int status = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
    if (!ready)
        return 1;
    std::printf("\nafter %d rounds: %.1f MB PSS right after the last (%d processes), %.1f MB at rest (%d processes)\n",
                o.rounds, live.totalMb, live.processes, atRest.totalMb, atRest.processes);
    if (o.reference && !printReference(site.homePage() + QStringLiteral("/ad/365.htm"), live, atRest))
        return 1;
    return status;
}
