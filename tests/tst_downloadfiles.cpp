// Seeded random sequences of what downloads, their engine, the user and
// other programs do in one folder, checked after every step against what must
// always hold of its files: nothing of anyone else's is removed or written
// (nor anything outside the folder), no two downloads share a file, what
// lands is byte for byte what was written, and the journal describes what is
// on disk. A failing sequence prints its seed; ONDRIX_SEED=n replays it.
#include <cstdio>

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "DownloadFolder.h"
#include "DownloadJournal.h"

namespace {

constexpr int Sequences = 2000;
constexpr int Steps = 30;

struct Download
{
    QString path;
    DownloadFolder::Files files;
    QByteArray data;
    bool writing = false; // the engine's file is there
    bool kept = false;    // its data moved to the reservation, as on 保留
};

class Model
{
public:
    Model(quint32 seed, const QString &top)
        : m_rng(seed)
        , m_dir(top + QStringLiteral("/dl"))
        , m_outside(top + QStringLiteral("/outside"))
    {
        QDir().mkpath(m_dir);
        QDir().mkpath(m_outside);
    }

    // One thing done, said in a word for the log.
    QString step()
    {
        const int what = int(m_rng.bounded(10));
        Download *d = m_live.isEmpty() ? nullptr : &m_live[int(m_rng.bounded(m_live.size()))];
        if (what == 0 || !d)
            return click();
        if (what == 1)
            return write(*d);
        if (what == 2 && d->writing)
            return land(*d);
        if (what == 3)
            return cancel(*d);
        if (what == 4 && d->writing && !d->kept)
            return keep(*d);
        if (what == 5)
            return restart();
        return what >= 6 ? other(what - 6) : write(*d);
    }

    // What does not hold, or nothing.
    QString broken() const
    {
        for (const auto &[path, bytes] : m_others.asKeyValueRange()) {
            if (bytes.isNull() ? !QFileInfo(path).isSymLink() : read(path) != bytes)
                return QStringLiteral("not ours, yet changed: ") + path;
        }
        if (!QDir(m_outside).isEmpty())
            return QStringLiteral("written outside the folder");
        QSet<QString> paths;
        QSet<quint64> files;
        for (const Download &d : m_live) {
            const QString data = d.kept || !d.writing ? DownloadFolder::reservedPath(d.path)
                                                      : DownloadFolder::enginePartialPath(d.path);
            const FileIdentity there = FileIdentity::of(data);
            if (!d.files.holds(there) || read(data) != d.data)
                return QStringLiteral("lost its data: ") + d.path;
            if (paths.contains(d.path) || files.contains(there.inode))
                return QStringLiteral("shared: ") + d.path;
            paths << d.path;
            files << there.inode;
        }
        return {};
    }

private:
    QString name() { return m_names.at(int(m_rng.bounded(m_names.size()))); }
    QString in(const QString &name) const { return QDir(m_dir).filePath(name); }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }

    QString click()
    {
        const DownloadFolder::Reservation r = DownloadFolder::reserveFile(m_dir, name());
        m_live << Download {r.path, {.reserved = r.reserved}, {}};
        return QStringLiteral("click ") + QFileInfo(r.path).fileName();
    }
    // The engine writes, as it does, through whatever is at its name.
    QString write(Download &d)
    {
        QFile f(d.kept ? DownloadFolder::reservedPath(d.path) : DownloadFolder::enginePartialPath(d.path));
        const QByteArray bytes = QByteArray::number(m_rng.generate());
        if (!f.open(QIODevice::Append) || f.write(bytes) != bytes.size())
            return QStringLiteral("write failed");
        d.data += bytes;
        d.writing = true;
        if (!d.kept)
            d.files.data = DownloadFolder::engineFile(d.path, d.files);
        return QStringLiteral("write");
    }
    QString land(Download &d)
    {
        const QString from = DownloadFolder::reservedPath(d.path);
        // The engine's own move, over the reservation.
        const QByteArray engines = QFile::encodeName(DownloadFolder::enginePartialPath(d.path));
        if (!d.kept && std::rename(engines.constData(), QFile::encodeName(from).constData()) != 0)
            return QStringLiteral("engine's move failed");
        const QString as = m_rng.bounded(3) == 0 ? QString(300, u'x') : m_rng.bounded(2) ? name() : QString();
        const QString landed = DownloadFolder::landAndTidy(from, d.files, d.path, as);
        if (landed.isEmpty())
            return QStringLiteral("land failed");
        m_others.insert(landed, d.data); // the user's from now on
        m_live.removeIf([&](const Download &l) { return l.path == d.path; });
        return QStringLiteral("land ") + QFileInfo(landed).fileName();
    }
    QString cancel(Download &d)
    {
        d.files = DownloadFolder::removePartial(d.path, d.files);
        m_left << JournalLeftover {d.path, d.files};
        m_live.removeIf([&](const Download &l) { return l.path == d.path; });
        return QStringLiteral("cancel");
    }
    QString keep(Download &d)
    {
        d.kept = DownloadFolder::keepData(d.path, d.files);
        return d.kept ? QStringLiteral("keep") : QStringLiteral("keep failed");
    }
    // The program ends (journal written) and starts again: what it lists is
    // what is on disk, and only its own leftovers go.
    QString restart()
    {
        JournalContents contents {.leftovers = m_left};
        for (const Download &d : std::as_const(m_live)) {
            const bool atReservation = d.kept || !d.writing;
            JournalEntry e;
            e.url = QUrl(QStringLiteral("http://s/d"));
            e.path = d.path;
            e.partial
                = atReservation ? DownloadFolder::reservedPath(d.path) : DownloadFolder::enginePartialPath(d.path);
            e.files = d.files;
            contents.downloads << e;
        }
        const DownloadJournal journal(QFileInfo(m_dir).dir().filePath(QStringLiteral("downloads.json")));
        if (!journal.write(contents))
            return QStringLiteral("journal not written");
        const JournalContents read = journal.read();
        for (const JournalLeftover &l : read.leftovers)
            DownloadFolder::removePartial(l.path, l.files);
        m_left.clear();
        if (read.downloads.size() != m_live.size())
            return QStringLiteral("journal lists %1 of %2").arg(read.downloads.size()).arg(m_live.size());
        return QStringLiteral("restart");
    }
    // Another program's file of a download's name, the user's own file, or
    // a dangling link from an archive unpacked in the folder.
    QString other(int kind)
    {
        const QString base = in(name());
        const QString path = kind == 0   ? base
                             : kind == 1 ? DownloadFolder::reservedPath(base)
                                         : DownloadFolder::enginePartialPath(base);
        // Before a download reserves the name: once it has, nobody else
        // uses its partial names.
        const bool reserved
            = std::any_of(m_live.cbegin(), m_live.cend(), [&](const Download &d) { return d.path == base; });
        if (FileIdentity::anythingAt(path) || (kind > 0 && reserved))
            return QStringLiteral("-");
        if (kind >= 2) {
            QFile::link(QDir(m_outside).filePath(QString::number(m_rng.generate())), path);
            m_others.insert(path, QByteArray());
            return QStringLiteral("link ") + QFileInfo(path).fileName();
        }
        QFile f(path);
        if (!f.open(QIODevice::NewOnly) || f.write("theirs") != 6)
            return QStringLiteral("-");
        m_others.insert(path, "theirs");
        return QStringLiteral("theirs ") + QFileInfo(path).fileName();
    }

    QRandomGenerator m_rng;
    QString m_dir, m_outside;
    const QStringList m_names {QStringLiteral("1.rar"), QStringLiteral("a.zip"), QStringLiteral("中文.bin")};
    QList<Download> m_live;
    QList<JournalLeftover> m_left;
    QMap<QString, QByteArray> m_others; // path -> its bytes; null: a link
};

} // namespace

class DownloadFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void whateverHappensInTheFolder()
    {
        const bool replay = qEnvironmentVariableIsSet("ONDRIX_SEED");
        const quint32 first = replay ? quint32(qEnvironmentVariableIntValue("ONDRIX_SEED")) : 1;
        const quint32 end = replay ? first + 1 : first + Sequences;
        // In memory where there is room: the journal's writes wait for the disk.
        const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm/")
                                                                                : QDir::tempPath() + u'/';
        for (quint32 seed = first; seed < end; ++seed) {
            QTemporaryDir dir(base + QStringLiteral("ondrix-files-XXXXXX"));
            Model model(seed, dir.path());
            QStringList done;
            for (int n = 0; n < Steps; ++n) {
                done << model.step();
                const QString broken = model.broken();
                if (!broken.isEmpty() || done.last().endsWith(QLatin1String("failed"))
                    || done.last().startsWith(QLatin1String("journal")))
                    QFAIL(qPrintable(QStringLiteral("ONDRIX_SEED=%1: %2 after %3")
                                         .arg(seed)
                                         .arg(broken.isEmpty() ? done.last() : broken, done.join(u", "))));
            }
        }
    }
};

QTEST_GUILESS_MAIN(DownloadFilesTest)
#include "tst_downloadfiles.moc"
