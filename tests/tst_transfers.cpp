// Seeded random sequences of what the user, the engine, the download servers
// and other programs do, driven through the downloads with a stand-in engine
// (the demo site serves the rest of a file an earlier run left), checked
// after every step against what must always hold: nothing of anyone else's
// is removed or written, nothing outside the folder; every 已完成 file is
// byte for byte its source under its own name, which no other program's
// partial file claims; no two entries share a file; every file the program
// made is listed; the journal lists what is unfinished; every ended entry
// says why; one starting again has its page on the way; every action does
// what its name says; and the choice the list offers survives a quit. A
// failing sequence prints its seed and steps; ONDRIX_SEED=n replays it.
#include <cerrno>
#include <cstdio>

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "DemoSite.h"
#include "DownloadManager.h"
#include "FilePageRestart.h"
#include "ProgramRequest.h"
#include "RangeFetch.h"
#include "ServerFile.h"
#include "TransferShared.h"
#include "TransferSource.h"

namespace {

constexpr int Sequences = 2000;
constexpr int Steps = 30;
using State = DownloadEntry::State;

// A file on the demo site; distinct lengths, two of one name, one whose name
// holds the markers QString::arg() fills, one whose first character the
// engine loses (its server names it), and one more than may run at once.
struct Source
{
    QString id;
    QUrl url;
    QString name;
    QByteArray bytes;
    ServerProbe::Validators validators;
    QString engineName; // as the engine suggests it
};

QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

// The engine's download of a source (or of a page where the file was),
// written where the manager says, as the engine does: through whatever is
// at its name, then moved over the reservation.
class FakeDownload final : public EngineDownload
{
public:
    FakeDownload(quint32 id, const Source &source, const QString &query, bool page, bool sized)
        : m_id(id)
        , m_name(source.engineName)
        , m_url(source.url)
        , m_data(page ? QByteArray("<html>链接已失效</html>") : source.bytes)
        , m_page(page)
        , m_sized(sized)
    {
        m_url.setQuery(query);
    }
    quint32 id() const override { return m_id; }
    State state() const override { return m_state; }
    bool isFinished() const override { return m_finished; }
    qint64 receivedBytes() const override { return m_received; }
    qint64 totalBytes() const override { return m_sized ? m_data.size() : -1; }
    int interruptReason() const override { return 2; } // the network failed
    QUrl url() const override { return m_url; }
    QString mimeType() const override { return QLatin1String(m_page ? "text/html" : "application/zip"); }
    QString suggestedFileName() const override { return m_name; }
    void accept(const QString &path) override
    {
        m_path = path;
        m_state = State::InProgress;
    }
    void pause() override { m_paused = true; }
    void resume() override
    {
        m_paused = false;
        if (m_state == State::Interrupted && !m_finished)
            set(State::InProgress);
    }
    void cancel() override
    {
        if (!m_finished) {
            removeOwn();
            set(State::Cancelled, true);
        }
    }
    void release() override { deleteLater(); }

    void arrive(qint64 bytes) { m_received = bytes; }
    // The engine's last bytes written and its file moved over the
    // reservation, its word still to come.
    void finishUntold()
    {
        if (write(m_data.size() - m_received))
            moveOver();
    }
    QString enginePath() const { return m_path + QStringLiteral(".download"); }
    bool moving() const { return m_state == State::InProgress && !m_paused; }
    // All its data written: paused or not, the engine may still finish it.
    bool steps() const { return moving() || (m_state == State::InProgress && m_received == m_data.size()); }
    // The engine's own file goes, as when the program ends.
    void removeOwn() const
    {
        if (m_own.isValid() && FileIdentity::of(enginePath()) == m_own)
            QFile::remove(enginePath());
    }
    QString step(QRandomGenerator &rng)
    {
        if (!steps())
            return QStringLiteral("-");
        if (const quint32 what = rng.bounded(16); what == 0 && !m_sized) {
            m_sized = true;
            emit totalBytesChanged();
            return QStringLiteral("size");
        } else if (what < 2) {
            set(State::Interrupted);
            return QStringLiteral("cut");
        } else if (what == 2) {
            // Refused as it went on (a link that expired): the engine cannot
            // resume it, and its file goes.
            removeOwn();
            set(State::Interrupted, true);
            return QStringLiteral("cut for good");
        }
        const qint64 n = qMin<qint64>(m_data.size() - m_received, 1 + rng.bounded(4000));
        if (n > 0) {
            if (!write(n))
                return QStringLiteral("write failed");
            emit receivedBytesChanged();
            if (m_received < m_data.size() || rng.bounded(2))
                return QStringLiteral("wrote");
        }
        if (!moveOver())
            return QStringLiteral("engine's move failed");
        m_sized = true;
        set(State::Completed, true);
        return QStringLiteral("complete");
    }

private:
    bool write(qint64 n)
    {
        QFile f(enginePath());
        if (!f.open(QIODevice::Append) || f.write(m_data.mid(m_received, n)) != n)
            return false;
        m_own = FileIdentity::of(enginePath());
        m_received += n;
        return true;
    }
    bool moveOver() const
    {
        return std::rename(QFile::encodeName(enginePath()).constData(), QFile::encodeName(m_path).constData()) == 0;
    }
    // As the engine tells it: the state, then that it is finished.
    void set(State state, bool finished = false)
    {
        m_state = state;
        emit stateChanged();
        m_finished = m_finished || finished;
        if (finished)
            emit finishedChanged();
    }

    quint32 m_id;
    QString m_name, m_path;
    QUrl m_url;
    QByteArray m_data;
    FileIdentity m_own;
    State m_state = State::Requested;
    qint64 m_received = 0;
    bool m_page, m_sized, m_paused = false, m_finished = false;
};

// The servers' answers, when the sequence says.
class FakeProbe final : public ServerProbe
{
public:
    using ServerProbe::ServerProbe;
    void ask(const QUrl &, qint64, const QUrl &, const QObject *, std::function<void(int)>) override { }
    void validators(const QUrl &url, const QUrl &, const QObject *context,
                    std::function<void(const Validators &)> done) override
    {
        pending.emplaceBack(url, context, std::move(done));
    }
    QList<std::tuple<QUrl, QPointer<const QObject>, std::function<void(const Validators &)>>> pending;
};

// A click's file page, or a restart's, until it answers: its entry, its
// file's address, the restart, and whether it is one (a restart dropped
// meanwhile answers nothing).
using Page = std::tuple<int, QUrl, QPointer<Restart>, bool>;

class World
{
public:
    World(quint32 seed, const QString &top, const QList<Source> &sources)
        : m_rng(seed)
        , m_sources(sources)
        , m_dir(top + QStringLiteral("/dl"))
        , m_outside(top + QStringLiteral("/outside"))
        , m_journal(top + QStringLiteral("/j/downloads.json"))
        , m_probe(&m_network, "ondrix")
    {
        for (const QString &dir : {m_dir, m_outside, QFileInfo(m_journal).path()})
            QDir().mkpath(dir);
        start();
    }
    ~World() { stop(true); }

    // One thing done, said in a few words for the log; what finds nothing
    // to do gives way to another. By weight: clicks, the user, pages,
    // servers, other programs, quits, the disk and the file system, the
    // network, and most of all the engine.
    QString step()
    {
        using Do = QString (World::*)();
        static const QHash<char, Do> does {{'c', &World::click},        {'u', &World::user},  {'p', &World::answerPage},
                                           {'s', &World::answerServer}, {'o', &World::other}, {'q', &World::quit},
                                           {'d', &World::fillDisk},     {'m', &World::stick}, {'e', &World::engine},
                                           {'n', &World::network}};
        QString done;
        for (int tries = 0; tries < 5 && (done.isEmpty() || done == u"-"); ++tries)
            done = (this->*does.value("ccccuuuuppppssoqdmneeeee"[m_rng.bounded(24)]))();
        return done;
    }
    // What does not hold, or nothing.
    QString broken()
    {
        settle();
        const QList<DownloadEntry> entries = m_manager->entries();
        if (const QString landed = checkLanded(); !landed.isEmpty())
            return landed;
        // What moves data: the engine's downloads and the fetches of the rest.
        int moving = int(downloads(&FakeDownload::moving).size()), queued = 0;
        for (const DownloadEntry &e : entries) {
            if ((e.state == State::Failed || e.state == State::NothingCame || e.state == State::Interrupted)
                && e.reason.isEmpty())
                return QStringLiteral("stopped without a reason: ") + e.name;
            moving += e.state == State::Running && e.fromEarlierRun;
            queued += e.state == State::Waiting && e.reason.isEmpty();
            // One starting again waits for its page (or address) to answer.
            const auto itsPage = [&e](const Page &p) { return std::get<0>(p) == e.id && std::get<2>(p); };
            if (e.state == State::Waiting && !e.reason.isEmpty() && std::ranges::none_of(m_pages, itsPage))
                return QStringLiteral("waits for nothing: ") + e.name;
        }
        if (moving > DownloadManager::MaxRunning || (queued && moving < DownloadManager::MaxRunning))
            return QStringLiteral("%1 move data, %2 wait").arg(moving).arg(queued);
        for (const auto &[path, bytes] : m_others.asKeyValueRange()) {
            if (bytes.isNull() ? !QFileInfo(path).isSymLink() : read(path) != bytes)
                return QStringLiteral("not ours, yet changed: ") + path;
        }
        if (!QDir(m_outside).isEmpty())
            return QStringLiteral("written outside the folder");
        if (const QString shared = sharedFile(entries); !shared.isEmpty())
            return QStringLiteral("shared: ") + shared;
        if (const QString stray = unlisted(entries); !stray.isEmpty())
            return QStringLiteral("made and not listed: ") + stray;
        return journalBroken(entries);
    }

private:
    // Each newly 已完成 file is its source's, and the user's from then on;
    // so is complete data that could not move, where its entry says.
    QString checkLanded()
    {
        for (const DownloadEntry &e : m_manager->entries()) {
            QString path = e.state == State::Finished ? e.path : QString();
            for (const QString &kept :
                 {DownloadFolder::reservedPath(e.path), DownloadFolder::enginePartialPath(e.path)})
                path = e.reason == StopReason::notMovedText(m_dir, kept) ? kept : path;
            if (path.isEmpty() || m_others.contains(path))
                continue;
            const Source *s = source(e.url);
            if (!s || read(path) != s->bytes)
                return QStringLiteral("complete, but not its source's bytes: ") + path;
            // Another program's partial file of that name lands there later.
            if (m_others.contains(DownloadFolder::reservedPath(path)))
                return QStringLiteral("landed at another program's name: ") + path;
            m_others.insert(path, s->bytes);
            // The server's name, or the engine's where the server never said.
            const QString name = QFileInfo(path).fileName().remove(QRegularExpression(QStringLiteral(" \\(\\d+\\)")));
            if (path == e.path && name != s->name && name != s->engineName)
                return QStringLiteral("landed under another name: ") + e.path;
        }
        return {};
    }
    void start()
    {
        m_manager = std::make_unique<DownloadManager>(nullptr, [this](const QUrl &url, int entry, bool) {
            auto restart = std::make_unique<Restart>();
            m_pages.emplaceBack(entry, url, restart.get(), true);
            return restart;
        });
        m_manager->setProbe(&m_probe);
        m_manager->folder().setPath(m_dir);
        m_manager->folder().setFreeSpace([this](const QString &) { return m_full ? 1 : qint64(1) << 40; });
        m_manager->folder().setMove([this](const FileIdentity &data, const QString &from, const QString &to) {
            errno = EPERM;
            return !m_stuck && data.move(from, to);
        });
        m_manager->useJournal(m_journal);
    }
    // The engine ends with the program, and tidies its files unless it crashed.
    void stop(bool tidy)
    {
        m_manager.reset();
        for (FakeDownload *d : std::as_const(m_engine)) {
            if (d && tidy)
                d->removeOwn();
            delete d;
        }
        m_engine.clear();
        m_pages.clear();
        m_probe.pending.clear();
    }
    void settle()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    const Source *source(const QUrl &url) const
    {
        for (const Source &s : m_sources) {
            if (s.url == url.adjusted(QUrl::RemoveQuery) || QStringLiteral("/f/%1.html").arg(s.id) == url.path())
                return &s;
        }
        return nullptr;
    }
    QUrl pageOf(const Source &s) const { return QUrl(QStringLiteral("http://site.test/f/%1.html").arg(s.id)); }

    QString click()
    {
        const Source &s = m_sources.at(m_rng.bounded(m_sources.size()));
        const int id = m_manager->addClick(s.name, pageOf(s));
        if (id)
            m_pages.emplaceBack(id, s.url, nullptr, false);
        return QStringLiteral("click %1 (%2)").arg(s.name, QString::number(id));
    }
    // The page of a click or a restart: its download, a web page where the
    // file was, or nothing.
    QString answerPage()
    {
        if (m_pages.isEmpty())
            return QStringLiteral("-");
        const auto [entry, url, restart, restarts] = m_pages.takeAt(m_rng.bounded(m_pages.size()));
        if (restarts && !restart)
            return QStringLiteral("-");
        const Source *s = source(url);
        const quint32 how = m_rng.bounded(6);
        if (!s || how == 0) {
            if (restart)
                emit restart->gaveUp(QStringLiteral("文件页没有下载"));
            else
                m_manager->clickGaveUp(entry, QStringLiteral("文件页没有下载"));
            return QStringLiteral("page gave up");
        }
        // Where a file was begun, a page can come instead (a first click's
        // download is whatever it brings), and the link may be signed anew.
        const QString signature = restart && how == 2 ? QStringLiteral("sig=%1").arg(m_ids) : QString();
        auto *download = new FakeDownload(++m_ids, *s, signature, how == 1 && restart, m_rng.bounded(2));
        m_engine << download;
        m_manager->offer(download, {.entry = entry, .page = pageOf(*s), .charset = QStringLiteral("UTF-8")});
        return download->mimeType() == QLatin1String("text/html") ? "page answered a page" : "page answered";
    }
    // The engine's live downloads, or those of them that do what is asked.
    QList<FakeDownload *> downloads(bool (FakeDownload::*which)() const = nullptr) const
    {
        QList<FakeDownload *> out;
        std::copy_if(m_engine.begin(), m_engine.end(), std::back_inserter(out),
                     [which](FakeDownload *d) { return d && (!which || (d->*which)()); });
        return out;
    }
    QString engine()
    {
        const QList<FakeDownload *> steps = downloads(&FakeDownload::steps);
        return steps.isEmpty() ? "-" : "engine " + steps.at(m_rng.bounded(steps.size()))->step(m_rng);
    }
    QString answerServer()
    {
        if (m_probe.pending.isEmpty())
            return QStringLiteral("-");
        const auto [url, context, done] = m_probe.pending.takeAt(m_rng.bounded(m_probe.pending.size()));
        const Source *s = source(url);
        if (!context || !s || m_rng.bounded(4) == 0)
            return QStringLiteral("server silent");
        // Now and then the file was replaced on the server since it was begun.
        ServerProbe::Validators said = s->validators;
        const bool replaced = m_rng.bounded(6) == 0;
        said.etag += replaced ? "-new" : "";
        done(said);
        for (const DownloadEntry &e : m_manager->entries()) {
            if (e.url == url && e.state == State::Failed && e.reason == StopReason::engineGaveUpText())
                return QStringLiteral("the server's word read as the engine's: ") + e.name;
        }
        return replaced ? QStringLiteral("server named another version") : QStringLiteral("server named it");
    }
    QString user()
    {
        const QList<DownloadEntry> entries = m_manager->entries();
        if (entries.isEmpty())
            return QStringLiteral("-");
        const DownloadEntry e = entries.at(m_rng.bounded(entries.size()));
        using A = DownloadEntry;
        QList<A::Action> offered {A::Pause,  A::Resume,       A::Cancel,        A::Retry,
                                  A::Delete, A::OpenExisting, A::DownloadAnyway};
        offered.removeIf([&](A::Action a) { return !e.actions().testFlag(a); });
        if (offered.isEmpty())
            return QStringLiteral("-");
        const A::Action action = offered.at(m_rng.bounded(offered.size()));
        m_manager->act(e.id, action);
        const DownloadEntry now = m_manager->entry(e.id);
        const QString done = A::actionText(action) + u' ' + e.name;
        const bool does = action == A::Pause            ? now.state == State::Paused
                          : action == A::Cancel         ? now.state == State::Cancelled
                          : action == A::Delete         ? now.id == 0
                          : action == A::Retry          ? now.state == State::Waiting
                          : action == A::OpenExisting   ? now.state == State::Finished && now.path == e.reason
                          : action == A::DownloadAnyway ? now.state != State::AlreadyThere
                                                        : now.state != e.state || now.state == State::Waiting;
        return does ? done : done + QStringLiteral(": did not do it, ") + A::stateText(now.state);
    }
    // Another program's file of a download's name, a dangling link from an
    // archive unpacked in the folder, or the user's own copy of the file.
    QString other()
    {
        const Source &source = m_sources.at(m_rng.bounded(m_sources.size()));
        const QString base = QDir(m_dir).filePath(source.name);
        const quint32 kind = m_rng.bounded(4);
        const QString path = kind == 1   ? DownloadFolder::reservedPath(base)
                             : kind == 2 ? DownloadFolder::enginePartialPath(base)
                                         : base;
        // Nothing but the engine writes at a download's engine name while
        // its reservation stands.
        const QString engines = QStringLiteral(".download");
        if (FileIdentity::anythingAt(path) || FileIdentity::anythingAt(base)
            || FileIdentity::anythingAt(DownloadFolder::reservedPath(base))
            || (path.endsWith(engines) && FileIdentity::anythingAt(path.chopped(engines.size()))))
            return QStringLiteral("-");
        if (kind == 2) {
            QFile::link(QDir(m_outside).filePath(QStringLiteral("x")), path);
            m_others.insert(path, QByteArray());
            return QStringLiteral("link ") + QFileInfo(path).fileName();
        }
        const QByteArray bytes = kind == 3 ? source.bytes : QByteArray("theirs");
        QFile f(path);
        if (!f.open(QIODevice::NewOnly) || f.write(bytes) != bytes.size())
            return QStringLiteral("-");
        m_others.insert(path, bytes);
        return (kind == 3 ? QStringLiteral("a copy ") : QStringLiteral("theirs ")) + QFileInfo(path).fileName();
    }
    // The rest of a file an earlier run left, fetched from the site, comes.
    QString network()
    {
        const auto fetching = [this] {
            const QList<DownloadEntry> entries = m_manager->entries();
            return std::any_of(entries.begin(), entries.end(),
                               [](const DownloadEntry &e) { return e.state == State::Running && e.fromEarlierRun; });
        };
        if (!fetching())
            return QStringLiteral("-");
        return QTest::qWaitFor([&] { return !fetching(); }, 10000) ? "fetched" : "fetch failed";
    }
    // Faults that come now and then, and go at their next turn.
    QString toggle(bool &fault, const char *on, const char *off)
    {
        fault = !fault && m_rng.bounded(3) == 0;
        return QString::fromUtf8(fault ? on : off);
    }
    QString fillDisk() { return toggle(m_full, "disk full", "disk free"); }
    QString stick() { return toggle(m_stuck, "nothing moves", "moves again"); }
    // 保留, 取消 or a crash: the engine goes with the program; the next start
    // lists what was kept and offers the same choices again.
    QString quit()
    {
        const quint32 how = m_rng.bounded(3);
        QStringList choices;
        for (const DownloadEntry &e : m_manager->entries()) {
            if (e.state == State::AlreadyThere)
                choices << e.reason;
        }
        QString landed;
        // Now and then the engine has just finished one, unheard; after a
        // crash, the next start can know it only by the bytes it heard of.
        QList<FakeDownload *> steps = downloads(&FakeDownload::steps);
        if (how == 2)
            steps.removeIf([](const FakeDownload *d) { return d->receivedBytes() == 0; });
        if (!steps.isEmpty() && m_rng.bounded(2))
            steps.at(m_rng.bounded(steps.size()))->finishUntold();
        if (how == 0) {
            m_manager->keepAll();
            landed = checkLanded();
        } else if (how == 1) {
            // None of those still waiting starts as the others' slots free.
            const QMetaObject::Connection started
                = QObject::connect(m_manager.get(), &Downloads::entryChanged, [this, &landed](int id) {
                      if (m_manager->entry(id).state == State::Running)
                          landed = QStringLiteral("started ") + m_manager->entry(id).name;
                  });
            m_manager->cancelAll();
            QObject::disconnect(started);
            choices.clear();
        } else {
            // Nothing the program does as it ends reaches the disk: a plain
            // file stands where its folders were.
            QDir top(QFileInfo(m_dir).path());
            for (const QString &dir : {QStringLiteral("dl"), QStringLiteral("j")}) {
                top.rename(dir, dir + u'-');
                QFile(top.filePath(dir)).open(QIODevice::WriteOnly);
            }
            m_manager.reset();
            for (const QString &dir : {QStringLiteral("dl"), QStringLiteral("j")}) {
                QFile::remove(top.filePath(dir));
                top.rename(dir + u'-', dir);
            }
        }
        stop(how < 2);
        start();
        for (const DownloadEntry &e : m_manager->entries())
            choices.removeAll(e.state == State::AlreadyThere ? e.reason : QString());
        const QString what = QStringList {QStringLiteral("保留"), QStringLiteral("取消"), QStringLiteral("crash")}[how];
        if (!landed.isEmpty())
            return what + QStringLiteral(": ") + landed;
        return choices.isEmpty() ? what : what + QStringLiteral(": a choice was lost, ") + choices.join(u',');
    }

    QString sharedFile(const QList<DownloadEntry> &entries) const
    {
        QHash<QString, QUrl> owner;
        for (const DownloadEntry &e : entries) {
            // One starting again (or paused meanwhile), or kept with no data
            // (its name given to another since it gave up its files), holds
            // nothing until its download comes.
            const bool restarting = (e.state == State::Waiting || e.state == State::Paused
                                     || (e.fromEarlierRun && e.state == State::Interrupted))
                                    && e.received == 0;
            const bool holds = (e.isUnfinished() && !restarting) || e.state == State::Finished;
            if (!holds || e.path.isEmpty())
                continue;
            // Finished ones of one source may: 打开已有文件 shows the file there.
            if (owner.contains(e.path) && (e.isUnfinished() || source(owner.value(e.path)) != source(e.url)))
                return e.path;
            owner.insert(e.path, e.url);
        }
        return {};
    }
    // Every file in the folder is someone's: the user's, another program's,
    // a listed download's (its partial files), one still swept, or the
    // engine's own of a live download.
    QString unlisted(const QList<DownloadEntry> &entries) const
    {
        QSet<QString> known(m_others.keyBegin(), m_others.keyEnd());
        QStringList finals;
        for (const JournalLeftover &left : DownloadJournal(m_journal).read().leftovers)
            finals << left.path;
        for (const DownloadEntry &e : entries)
            finals << e.path;
        for (const QString &path : std::as_const(finals))
            known << path << DownloadFolder::reservedPath(path) << DownloadFolder::enginePartialPath(path);
        for (const FakeDownload *d : downloads())
            known << d->enginePath();
        for (const QFileInfo &f : QDir(m_dir).entryInfoList(QDir::Files | QDir::System | QDir::Hidden)) {
            if (!known.contains(f.filePath()))
                return f.fileName();
        }
        return {};
    }
    // What the next start would list: every unfinished download with data.
    QString journalBroken(const QList<DownloadEntry> &entries) const
    {
        QStringList listed;
        for (const JournalEntry &j : DownloadJournal(m_journal).read().downloads)
            listed << j.path;
        for (const DownloadEntry &e : entries) {
            if (e.isUnfinished() && !e.path.isEmpty() && !listed.contains(e.path))
                return QStringLiteral("the journal does not list ") + e.path;
        }
        return {};
    }

    QRandomGenerator m_rng;
    const QList<Source> &m_sources;
    QString m_dir, m_outside, m_journal;
    QNetworkAccessManager m_network;
    FakeProbe m_probe;
    std::unique_ptr<DownloadManager> m_manager;
    QList<QPointer<FakeDownload>> m_engine;
    QList<Page> m_pages;
    QMap<QString, QByteArray> m_others; // path -> its bytes; null: a link
    quint32 m_ids = 0;
    bool m_full = false;
    bool m_stuck = false; // a file system that neither renames without replacing nor links
};

} // namespace

class TransfersTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_site.start(), qPrintable(m_site.errorString()));
        const QStringList names {"1.rar", "1.rar", "中文.bin", "a.zip", "b%1%2.zip", "a.zip.part.download"};
        for (int i = 0; i < names.size(); ++i) {
            const QByteArray target = "/bytes/" + QByteArray::number(3000 + 1000 * i) + ".bin";
            const DemoReply r = DemoSite::get(m_site.siteBase(), target);
            QCOMPARE(r.status, 200);
            m_sources << Source {QStringLiteral("s%1").arg(i),
                                 QUrl(m_site.siteBase() + QString::fromLatin1(target)),
                                 names.at(i),
                                 r.body,
                                 {.etag = r.header("ETag"),
                                  .modified = r.header("Last-Modified"),
                                  .length = r.body.size(),
                                  .disposition = "attachment; filename=\"" + names.at(i).toUtf8() + '"'},
                                 i == 2 ? names.at(i).mid(1) : names.at(i)};
        }
    }

    // Qt's network replies and texts used as Qt means them.
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QNetworkReply|QString::arg"))); }

    void whateverHappens()
    {
        const bool replay = qEnvironmentVariableIsSet("ONDRIX_SEED");
        const quint32 first = replay ? quint32(qEnvironmentVariableIntValue("ONDRIX_SEED")) : 1;
        const quint32 end = replay ? first + 1 : first + Sequences;
        // In memory where there is room: the journal's writes wait for the disk.
        const QString base = QFileInfo("/dev/shm").isWritable() ? QStringLiteral("/dev/shm/") : QDir::tempPath() + u'/';
        for (quint32 seed = first; seed < end; ++seed) {
            QTemporaryDir dir(base + QStringLiteral("ondrix-transfers-XXXXXX"));
            World world(seed, dir.path(), m_sources);
            QStringList done;
            for (int n = 0; n < Steps; ++n) {
                done << world.step();
                const QString broken = world.broken();
                const bool failedStep = done.last().contains(QLatin1String(": ")) || done.last().endsWith(u"failed");
                if (!broken.isEmpty() || failedStep)
                    QFAIL(qPrintable(QStringLiteral("ONDRIX_SEED=%1: %2 after %3")
                                         .arg(seed)
                                         .arg(broken.isEmpty() ? done.last() : broken, done.join(u", "))));
            }
        }
    }

    // What 重试 or 继续 brings must be the file begun: not another length
    // unless only a new version can come, while a page may follow a page.
    // (The model fails for a web page where a file was begun or named.)
    void aRetryBringsTheSameFile_data()
    {
        QTest::addColumn<QString>("came"); // the first time
        QTest::addColumn<bool>("sameVersion");
        QTest::addColumn<QString>("type"); // what comes now, of 2000 bytes
        QTest::addColumn<QString>("refusal");
        const QString zip = QStringLiteral("application/zip"), html = QStringLiteral("text/html");
        QTest::newRow("a page where a page was") << html << false << html << QString();
        QTest::newRow("another length") << zip << true << zip << StopReason::otherLengthText(1000, 2000);
        QTest::newRow("a new version") << zip << false << zip << QString();
    }
    void aRetryBringsTheSameFile()
    {
        QFETCH(QString, came);
        QFETCH(bool, sameVersion);
        QFETCH(QString, type);
        ServerFile file;
        file.begin(came, QStringLiteral("a.zip"), QStringLiteral("GBK"));
        file.expectAgain(QStringLiteral("/dl/a.zip"), 1000, sameVersion);
        QTEST(file.refusal(type, 2000), "refusal");
    }

    // The engine reads ahead while a download waits to be accepted, and
    // writes that second's worth at once: no part of the speed shown. The
    // same for 继续 that the engine starts again from the first byte.
    void theSpeedLeavesOutWhatCameBeforeTheStart_data()
    {
        QTest::addColumn<qint64>("held"); // when the clock starts
        QTest::newRow("a new download") << qint64(0);
        QTest::newRow("继续 from the first byte again") << qint64(50 << 20);
    }
    void theSpeedLeavesOutWhatCameBeforeTheStart()
    {
        QFETCH(qint64, held);
        constexpr qint64 Rate = 655000;
        TransferShared shared;
        shared.clock.start();
        TransferSource source(shared, nullptr);
        FakeDownload request(1, m_sources.first(), {}, false, false);
        source.begin(&request, QStringLiteral("/dl/a.zip"), {});
        const qint64 start = shared.clock.elapsed();
        source.restartClock(held);
        DownloadEntry shown;
        for (qint64 ms = 100; ms <= 2000; ms += 100) {
            request.arrive(Rate + Rate * (ms - 100) / 1000);
            source.sample(shown, start + ms);
            if (shown.bytesPerSecond != 0)
                QVERIFY2(qAbs(shown.bytesPerSecond - Rate) < Rate / 10,
                         qPrintable(QString::number(shown.bytesPerSecond)));
        }
        QVERIFY(shown.bytesPerSecond != 0);
    }

    // A chosen folder that has gone (a share no longer mounted) is not made
    // again where it was: its downloads would lie hidden beneath it once it
    // is back.
    void aChosenFolderGoneIsNotMadeAgain()
    {
        QTemporaryDir dir;
        DownloadFolder folder;
        folder.setPath(dir.filePath(QStringLiteral("share/下载")));
        const FakeDownload request(1, m_sources.first(), {}, false, true);
        QCOMPARE(DownloadAdmission(folder).decide(&request, QStringLiteral("UTF-8"), {}).refusal,
                 StopReason::unwritableText(folder.path()));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("share"))));
    }

    // A server that refuses HEAD is asked for the file's first byte, which
    // tells the same, and has no word on why a download stopped; a mirror
    // answers only with the file page as Referer, as the engine asks.
    void theServerIsAskedAsTheEngineAsks()
    {
        QNetworkAccessManager network;
        ServerProbe probe(&network, {});
        const QUrl refusesHead(m_sources.first().url.toString() + QStringLiteral("?head=refuse"));
        std::optional<ServerProbe::Validators> said;
        probe.validators(refusesHead, {}, this, [&](const ServerProbe::Validators &v) { said = v; });
        QTRY_VERIFY(said);
        QCOMPARE(said->length, m_sources.first().bytes.size());
        QCOMPARE(said->etag, m_sources.first().validators.etag);
        QList<int> statuses;
        const auto heard = [&](int status) { statuses << status; };
        probe.ask(refusesHead, 0, {}, this, heard);
        probe.ask(QUrl(m_site.siteBase() + QStringLiteral("/d/umzj41?mirror=1")), 0,
                  QUrl(m_site.siteBase() + QStringLiteral("/f/umzj41.html")), this, heard);
        QTRY_COMPARE(statuses.size(), 2);
        std::ranges::sort(statuses);
        QCOMPARE(statuses, (QList<int> {0, 206}));
    }

    // The rest of a file refused, several at once, more than the
    // connections to one host: each fetch ends, and its reply ends cleanly,
    // dropped at once as its transfer drops it.
    void aRefusedRestSaysTheLinkIsGone()
    {
        QNetworkAccessManager network;
        QTemporaryDir dir;
        const Source &s = m_sources.first();
        int ended = 0;
        for (int i = 0; i < 8; ++i) {
            QFile partial(dir.filePath(QString::number(i)));
            QVERIFY(partial.open(QIODevice::WriteOnly) && partial.write(s.bytes.left(100)) == 100);
            partial.close();
            auto *fetch = new RangeFetch(&network,
                                         {.url = QUrl(s.url.toString() + QStringLiteral("?refuse=403&times=99")),
                                          .referer = {},
                                          .partial = partial.fileName(),
                                          .files = {.reserved = FileIdentity::of(partial.fileName())},
                                          .total = s.bytes.size(),
                                          .validator = s.validators.etag},
                                         this);
            connect(fetch, &RangeFetch::finished, this, [&, fetch] {
                ++ended;
                fetch->abort();
            });
        }
        QTRY_COMPARE(ended, 8);
    }

    // The rest goes only to the file the download made: never through a
    // link out of the folder, nor into a file that took its name since, nor
    // into one made anew. And it must be of the version begun: a server that
    // ignores If-Range answers 206 for a new one too, and a 416 means
    // complete only for a file of the length held.
    void theRestGoesOnlyToItsOwnFileOfItsVersion_data()
    {
        QTest::addColumn<QString>("instead");   // at the partial file's name
        QTest::addColumn<QByteArray>("answer"); // the server's
        QTest::addColumn<int>("outcome");
        using O = RangeFetch::Outcome;
        const QByteArray none = "Content-Length: 0\r\n\r\n";
        QTest::newRow("a link out of the folder") << "link" << QByteArray() << int(O::WriteError);
        QTest::newRow("another file of its name") << "theirs" << QByteArray() << int(O::WriteError);
        QTest::newRow("206 of another version")
            << ""
            << "206 Partial Content\r\nContent-Range: bytes 100-199/200\r\nETag: \"new\"\r\n" + none << int(O::Changed);
        QTest::newRow("416, the file shorter now")
            << ""
            << "416 Range Not Satisfiable\r\nContent-Range: bytes */50\r\n" + none << int(O::Changed);
        QTest::newRow("416, all of it held")
            << ""
            << "416 Range Not Satisfiable\r\nContent-Range: bytes */100\r\n" + none << int(O::Complete);
    }
    void theRestGoesOnlyToItsOwnFileOfItsVersion()
    {
        QFETCH(QString, instead);
        QFETCH(QByteArray, answer);
        QTemporaryDir dir;
        const QString partial = dir.filePath(QStringLiteral("a.zip.part")), outside = dir.filePath("outside");
        const FileIdentity own = FileIdentity::create(partial);
        QFile held(partial);
        QVERIFY(held.open(QIODevice::Append) && held.write(QByteArray(100, 'o')) == 100);
        held.close();
        // Put in its place rather than made there, so that it cannot be given its inode.
        const QString other = dir.filePath(QStringLiteral("other"));
        QVERIFY(instead != "link" || QFile::link(outside, other));
        QVERIFY(instead != "theirs" || FileIdentity::create(other).isValid());
        if (!instead.isEmpty())
            QVERIFY(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(partial).constData()) == 0);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QNetworkAccessManager network;
        RangeFetch fetch(&network, {.url = local(server),
                                    .referer = {},
                                    .partial = partial,
                                    .files = {.reserved = own},
                                    .total = -1,
                                    .validator = "\"old\""});
        std::optional<RangeFetch::Outcome> outcome;
        connect(&fetch, &RangeFetch::finished, this, [&](RangeFetch::Outcome o) { outcome = o; });
        if (!answer.isEmpty()) {
            QTRY_VERIFY(server.hasPendingConnections());
            server.nextPendingConnection()->write("HTTP/1.1 " + answer);
        }
        QTRY_VERIFY(outcome);
        QTEST(int(*outcome), "outcome");
        QVERIFY(!QFileInfo::exists(outside));
        QCOMPARE(QFileInfo(partial).size(), instead.isEmpty() ? 100 : 0);
    }

    // A reply dropped as the network thread hands over its error (a 404
    // whose page comes after its headers) ends once: cut off, Qt would end
    // it a second time as the error came ("this method must only be called once").
    void aReplyDroppedAsItsErrorComesEndsOnce()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QNetworkAccessManager network;
        QPointer<QNetworkReply> reply = network.get(QNetworkRequest(local(server)));
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket *peer = server.nextPendingConnection();
        peer->write("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\n");
        connect(reply, &QNetworkReply::metaDataChanged, this, [&] {
            dropReply(reply, this);
            peer->write("not found");
            peer->waitForBytesWritten();
            QThread::msleep(200); // for the network thread to read it and send the error on
        });
        QTRY_VERIFY(!reply);
    }

    // A redirect answered with a body without end: its connection is closed
    // as the next hop is sent, not read on in the background.
    void aRedirectsBodyIsNotReadOn()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QNetworkAccessManager network;
        sendProgramRequest(&network, "GET", programRequest(local(server), {}, {}, 0), this, [](QNetworkReply *) {});
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket *redirect = server.nextPendingConnection();
        redirect->write("HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 1000000000\r\n\r\n");
        QTRY_COMPARE(redirect->state(), QAbstractSocket::UnconnectedState);
    }

private:
    static QUrl local(const QTcpServer &server)
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort()));
    }

    DemoSite m_site;
    QList<Source> m_sources;
};

QTEST_GUILESS_MAIN(TransfersTest)
#include "tst_transfers.moc"
