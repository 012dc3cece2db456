#include "DownloadManager.h"

#include <algorithm>

#include <QFileInfo>
#include <QNetworkCookieJar>
#include <QScopeGuard>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

#include "HiddenPage.h"
#include "StopReason.h"

namespace {

constexpr int SpaceCheckMs = 500;

QByteArray userAgent(const QWebEngineProfile *profile)
{
    return profile ? profile->httpUserAgent().toUtf8() : QByteArrayLiteral("Mozilla/5.0");
}

} // namespace

DownloadManager::DownloadManager(QWebEngineProfile *profile, Restarts restarts, QObject *parent)
    : Downloads(parent)
    , m_probe(&m_network, userAgent(profile))
    , m_shared {.network = &m_network,
                .userAgent = userAgent(profile),
                .restart = std::move(restarts),
                .probe = &m_probe,
                .folder = &m_folder,
                .leftovers = &m_leftovers,
                .slotFree = [this](const Transfer *t) { return runningCount(t) < MaxRunning; }}
{
    connect(&m_spaceWatch, &QTimer::timeout, this, &DownloadManager::checkSpace);
    m_spaceWatch.setInterval(SpaceCheckMs);
    // Progress is read on a clock rather than per received chunk: the
    // engine's own work shares this thread.
    m_progress.setInterval(ProgressMs);
    connect(&m_progress, &QTimer::timeout, this, &DownloadManager::sample);
    connect(&m_leftovers, &PartialSweep::changed, this, &DownloadManager::journalChanged);
    m_shared.clock.start();
    if (!profile)
        return;
    // A server that checks its pages' cookie checks ours too.
    QNetworkCookieJar *jar = m_network.cookieJar();
    connect(profile->cookieStore(), &QWebEngineCookieStore::cookieAdded, this,
            [jar](const QNetworkCookie &cookie) { jar->insertCookie(cookie); });
    connect(profile->cookieStore(), &QWebEngineCookieStore::cookieRemoved, this,
            [jar](const QNetworkCookie &cookie) { jar->deleteCookie(cookie); });
    // Direct connection: the request must be accepted inside the signal, or
    // the engine drops it.
    connect(profile, &QWebEngineProfile::downloadRequested, this, &DownloadManager::onDownloadRequested,
            Qt::DirectConnection);
}

DownloadManager::~DownloadManager()
{
    // However the program ends, short of the user's cancel, what it could
    // keep is kept.
    if (m_journal)
        keepAll();
    else
        cancelAll();
    // Their late signals reach nobody.
    for (const auto &t : m_transfers)
        t->disconnect(this);
}

QList<DownloadEntry> DownloadManager::entries() const
{
    QList<DownloadEntry> out;
    out.reserve(qsizetype(m_transfers.size()));
    for (const auto &t : m_transfers)
        out << t->entry();
    return out;
}

DownloadEntry DownloadManager::entry(int id) const
{
    const Transfer *t = find(id);
    return t ? t->entry() : DownloadEntry {};
}

Transfer *DownloadManager::find(int id) const
{
    const auto it
        = std::find_if(m_transfers.cbegin(), m_transfers.cend(), [id](const auto &t) { return t->entry().id == id; });
    return it == m_transfers.cend() ? nullptr : it->get();
}

Transfer *DownloadManager::add(std::unique_ptr<Transfer> transfer)
{
    Transfer *t = m_transfers.emplace_back(std::move(transfer)).get();
    connect(t, &Transfer::changed, this, &DownloadManager::onChanged);
    connect(t, &Transfer::progressed, this, &Downloads::entryChanged);
    connect(t, &Transfer::slotFreed, this, &DownloadManager::startQueued);
    return t;
}

Transfer *DownloadManager::make(Transfer::State state, const QString &name, const QUrl &url, const QString &reason)
{
    return add(std::make_unique<Transfer>(m_shared, m_nextId++, state, name, url, reason));
}

// The entries go at once; each transfer itself once the current event is
// done, as it may be inside a signal of its own.
void DownloadManager::remove(const QList<int> &ids)
{
    std::erase_if(m_transfers, [&ids](std::unique_ptr<Transfer> &t) {
        if (!ids.contains(t->entry().id))
            return false;
        Transfer *gone = t.release();
        gone->disconnect();
        gone->deleteLater();
        return true;
    });
    emit entriesRemoved(ids);
    journalChanged();
}

int DownloadManager::addClick(const QString &title, const QUrl &page)
{
    // The user asked again for what is under way: that entry is shown.
    const bool underWay = std::any_of(m_transfers.cbegin(), m_transfers.cend(), [&page](const auto &t) {
        return t->page() == page && (t->state() == Transfer::State::Opening || t->entry().isUnfinished());
    });
    if (underWay) {
        emit attentionWanted();
        return 0;
    }
    Transfer *t = make(Transfer::State::Opening, title, page);
    t->setPage(page, title);
    emit entryAdded(t->entry().id);
    return t->entry().id;
}

void DownloadManager::clickGaveUp(int id, const QString &reason)
{
    if (Transfer *t = find(id))
        t->giveUp(reason);
}

void DownloadManager::act(int id, DownloadEntry::Action action)
{
    Transfer *t = find(id);
    if (!t || !t->entry().actions().testFlag(action))
        return;
    t->act(action);
    // 删除: its data goes, and so does the entry.
    if (action == DownloadEntry::Delete)
        remove({id});
}

void DownloadManager::cancelAll()
{
    // Those waiting first: a running one's slot, freed, would start them.
    // By index: what the signals reach may add entries.
    for (const bool waiting : {true, false}) {
        for (std::size_t i = 0; i < m_transfers.size(); ++i) {
            Transfer *t = m_transfers[i].get();
            if (t->entry().isUnfinished() && (t->state() == Transfer::State::Queued) == waiting)
                t->cancelByUser();
        }
    }
}

bool DownloadManager::keepAll()
{
    for (std::size_t i = 0; i < m_transfers.size(); ++i)
        m_transfers[i]->keep();
    // The program ends now: no later event will write it.
    return writeJournal();
}

void DownloadManager::clearEnded()
{
    // An ended transfer holds no request; one starting again still waits
    // for its page's answer.
    QList<int> ids;
    for (const auto &t : m_transfers) {
        if (t->entry().hasEnded() && !t->isRestarting())
            ids << t->entry().id;
    }
    if (!ids.isEmpty())
        remove(ids);
}

void DownloadManager::onDownloadRequested(QWebEngineDownloadRequest *request)
{
    if (request->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;
    auto *download = new WebEngineDownload(request);
    if (followResumed(download))
        return;
    if (const HiddenPage *page = DownloadAdmission::payingPage(request))
        offer(download, {.entry = page->grantEntry(), .page = page->url(), .charset = page->documentCharset()});
}

void DownloadManager::offer(EngineDownload *request, const Payer &payer)
{
    // The transfer the user's action made for it (a row click's), or the one
    // that 重试 or 继续 starts again: the download goes there, whatever its
    // address has become.
    Transfer *asked = find(payer.entry);
    Transfer *claimed = asked && asked->claim() ? asked : nullptr;
    const int answered = claimed ? claimed->entry().id : 0;
    const auto answer = qScopeGuard([this, answered] { emit clickAnswered(answered); });
    // The same address already downloading: the user asked again, so show
    // that one instead of starting it twice.
    if (inFlight(request->url(), claimed)) {
        request->cancel();
        if (claimed)
            claimed->giveUp(StopReason::downloadingAlreadyText());
        emit attentionWanted();
        return;
    }
    if (claimed && !claimed->takes(request))
        return;
    // Names still swept, and those of listed downloads (one kept from an
    // earlier run may hold none on disk), are not free.
    QStringList busy = m_leftovers.paths();
    for (const auto &t : m_transfers) {
        if (t.get() != claimed && t->entry().isUnfinished())
            busy << t->entry().path;
    }
    const DownloadAdmission::Decision decision = m_admission.decide(request, payer.charset, busy);
    if (!decision.accepted()) {
        refuse(request, claimed, decision.refusal, decision.wanted);
        return;
    }
    DownloadAdmission::accept(request, decision);
    Transfer *t = claimed ? claimed : make(Transfer::State::Opening, QString(), request->url());
    // A page of its own, for a retry from the address, is no file page.
    const bool fromAddress = asked && !asked->page().isValid();
    t->start(request, decision, fromAddress ? QUrl() : payer.page, payer.charset);
    if (claimed)
        emit entryChanged(t->entry().id);
    else
        emit entryAdded(t->entry().id);
    journalChanged();
    watchTransfers();
    t->begin();
}

bool DownloadManager::followResumed(EngineDownload *request)
{
    // The engine resuming a download (by itself or for 继续) asks again
    // under the same id, with our folder and name forgotten: keep them, and
    // follow the new request object.
    for (const auto &t : m_transfers) {
        if (t->request() && t->request()->id() == request->id() && t->request() != request) {
            t->follow(request);
            return true;
        }
    }
    return false;
}

bool DownloadManager::inFlight(const QUrl &url, const Transfer *except) const
{
    return std::any_of(m_transfers.cbegin(), m_transfers.cend(), [&](const auto &t) {
        return t.get() != except && t->request() && t->entry().isUnfinished() && t->entry().url == url;
    });
}

void DownloadManager::refuse(EngineDownload *request, Transfer *claimed, const QString &reason, const QString &wanted)
{
    if (claimed) {
        claimed->refuse(request, reason);
        return;
    }
    request->cancel();
    Transfer *t = make(Transfer::State::Failed, wanted, request->url(), reason);
    emit entryAdded(t->entry().id);
}

int DownloadManager::runningCount(const Transfer *except) const
{
    // Those moving data: one complete and only waiting for its name (shown
    // as running) takes no slot.
    return int(std::count_if(m_transfers.cbegin(), m_transfers.cend(), [except](const auto &t) {
        return t.get() != except && t->state() == Transfer::State::Running;
    }));
}

void DownloadManager::startQueued()
{
    int running = runningCount();
    for (std::size_t i = 0; i < m_transfers.size() && running < MaxRunning; ++i) {
        Transfer *t = m_transfers[i].get();
        if (t->state() != Transfer::State::Queued)
            continue;
        t->resume();
        running += t->state() == Transfer::State::Running;
    }
}

void DownloadManager::onChanged(int id)
{
    emit entryChanged(id);
    journalChanged();
    const Transfer *t = find(id);
    if (t && t->entry().state == DownloadEntry::State::Running)
        watchTransfers();
}

void DownloadManager::watchTransfers()
{
    m_progress.start();
    m_spaceWatch.start();
}

void DownloadManager::sample()
{
    bool any = false;
    const qint64 now = m_shared.clock.elapsed();
    // By index: what the signals reach may add entries.
    for (std::size_t i = 0; i < m_transfers.size(); ++i)
        any = m_transfers[i]->sample(now) || any;
    if (!any)
        m_progress.stop();
}

void DownloadManager::checkSpace()
{
    if (runningCount() == 0) {
        m_spaceWatch.stop();
        return;
    }
    for (std::size_t i = 0; i < m_transfers.size(); ++i)
        m_transfers[i]->checkSpace();
}

void DownloadManager::useJournal(const QString &file)
{
    m_journal = std::make_unique<DownloadJournal>(file);
    const JournalContents earlier = m_journal->read();
    // The engine of that run is gone: what it left of cancelled downloads
    // goes now (the files they made only; never a file the user has, nor
    // another program's of the same name).
    for (const JournalLeftover &left : earlier.leftovers)
        DownloadFolder::removePartial(left.path, left.files);
    for (const JournalEntry &kept : earlier.downloads) {
        const Transfer *t = add(std::make_unique<Transfer>(m_shared, m_nextId++, kept));
        emit entryAdded(t->entry().id);
    }
    writeJournal();
}

// Written once the event that changed it is done: a burst of changes, one write.
void DownloadManager::journalChanged()
{
    if (!m_journal || std::exchange(m_journalDirty, true))
        return;
    QTimer::singleShot(0, this, [this] {
        if (m_journalDirty)
            writeJournal();
    });
}

bool DownloadManager::writeJournal()
{
    m_journalDirty = false;
    if (!m_journal)
        return false;
    JournalContents contents;
    for (const QString &path : m_leftovers.paths())
        contents.leftovers << JournalLeftover {path, m_leftovers.files(path)};
    for (const auto &t : m_transfers) {
        if (const std::optional<JournalEntry> kept = t->journalEntry())
            contents.downloads << *kept;
    }
    return m_journal->write(contents);
}
