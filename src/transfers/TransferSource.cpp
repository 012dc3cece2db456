#include "TransferSource.h"

#include <QFileInfo>
#include <QTimer>

#include "DownloadFolder.h"
#include "FilePageRestart.h"
#include "PartialSweep.h"
#include "StopReason.h"
#include "TransferShared.h"

TransferSource::TransferSource(TransferShared &shared, QObject *parent)
    : QObject(parent)
    , m_shared(shared)
{ }

TransferSource::~TransferSource() = default;

qint64 TransferSource::received(qint64 known) const
{
    if (m_request)
        return m_request->receivedBytes();
    return m_fetch ? m_fetch->bytes() : known;
}

qint64 TransferSource::total(qint64 known) const
{
    return m_request ? m_request->totalBytes() : known;
}

bool TransferSource::sample(DownloadEntry &e, qint64 now)
{
    const qint64 received = this->received(e.received);
    const qint64 total = this->total(e.total);
    // Interrupted requests read 0 until they resume; keep what we had.
    if (received < e.received && received == 0)
        return false;
    // Averaged over a second at least (the engine writes in blocks), from the
    // first bytes seen on: what it read ahead while the download waited to be
    // accepted comes all at once. Fewer than before: it started again from
    // the first byte.
    if (!m_sampled.flowing) {
        if (received != m_sampled.bytes)
            m_sampled = {received, now, true};
    } else if (const qint64 ms = now - m_sampled.ms; ms >= 1000) {
        const qint64 speed = qMax<qint64>(0, received - m_sampled.bytes) * 1000 / qMax<qint64>(1, ms);
        e.bytesPerSecond = e.bytesPerSecond == 0 ? speed : (e.bytesPerSecond + speed) / 2;
        m_sampled = {received, now, true};
    }
    if (received == e.received && total == e.total)
        return false;
    e.received = received;
    e.total = total;
    return true;
}

void TransferSource::complete(DownloadEntry &e)
{
    e.received = received(e.received);
    const qint64 all = total(e.total);
    e.total = all < 0 ? e.received : all;
    endRequest(true);
    dropFetch();
}

QString TransferSource::noRoom(const DownloadEntry &e) const
{
    return m_shared.folder->noRoom(QFileInfo(m_path).absolutePath(), total(e.total), received(e.received));
}

void TransferSource::restartClock(qint64 bytes)
{
    m_sampled = {bytes, m_shared.clock.elapsed(), false};
}

void TransferSource::keptAt(const QString &path, const TransferFiles &files)
{
    m_path = path;
    m_files = files;
}

QString TransferSource::land(const QString &from, const QString &path, const QString &name)
{
    return m_files.land(*m_shared.folder, from, path, name);
}

void TransferSource::watch(EngineDownload *request, const QString &path, bool fresh)
{
    m_request = request;
    m_path = path;
    m_broken = false;
    if (fresh)
        m_autoResumed = false;
    connect(request, &EngineDownload::stateChanged, this, &TransferSource::check);
    connect(request, &EngineDownload::finishedChanged, this, &TransferSource::check);
    // The size comes with the server's answer, once; not per chunk.
    connect(request, &EngineDownload::totalBytesChanged, this, &TransferSource::sizeKnown);
    connect(request, &EngineDownload::receivedBytesChanged, this, [this] {
        if (m_files.noticeEngineFile(m_path))
            emit madeFile();
    });
}

void TransferSource::begin(EngineDownload *request, const QString &path, const FileIdentity &reserved)
{
    m_files.begin(reserved);
    watch(request, path, true);
    restartClock(0);
}

void TransferSource::follow(EngineDownload *request)
{
    detach();
    request->accept(DownloadFolder::reservedPath(m_path));
    watch(request, m_path, false);
}

void TransferSource::check()
{
    if (!m_request)
        return;
    switch (m_request->state()) {
    case EngineDownload::State::Completed:
        emit ended(Event::Complete, QString());
        break;
    case EngineDownload::State::Cancelled:
        // Its own cancels go unheard: this is the engine giving up.
        emit ended(Event::Fail, StopReason::engineGaveUpText());
        break;
    case EngineDownload::State::Interrupted:
        // The engine tells that it cannot resume it only after the break.
        if (!m_broken || m_request->isFinished())
            onInterrupted();
        break;
    case EngineDownload::State::InProgress:
        m_broken = false;
        emit running();
        break;
    default:
        break;
    }
}

void TransferSource::onInterrupted()
{
    const int reason = m_request->interruptReason();
    const QString folder = QFileInfo(m_path).absolutePath();
    if (m_request->isFinished()) {
        // The engine cannot continue this one: its partial data is of no use.
        emit ended(Event::Fail, StopReason::text(reason, folder));
        return;
    }
    // Kept under the engine's temporary name for 继续.
    m_broken = true;
    emit broke(StopReason::text(reason, folder), false, false);
    const StopReason::Kind kind = StopReason::classify(reason);
    if (kind == StopReason::Kind::Server && m_request) {
        // From where the engine asked to continue: the end of its partial file.
        const qint64 from
            = qMax(m_request->receivedBytes(), QFileInfo(DownloadFolder::enginePartialPath(m_path)).size());
        m_shared.probe->ask(m_request->url(), from, m_page, this, [this, reason, folder](int status) {
            if (status >= 400)
                emit broke(StopReason::text(reason, folder, status), true, false);
        });
    }
    // A broken connection gets one more try by itself, a little later.
    if (kind == StopReason::Kind::Network && !m_autoResumed) {
        m_autoResumed = true;
        QTimer::singleShot(AutoResumeMs, this, &TransferSource::tryAgain);
    }
}

// Its signals no more ours.
EngineDownload *TransferSource::detach()
{
    EngineDownload *request = m_request;
    if (request)
        request->disconnect(this);
    m_request = nullptr;
    return request;
}

void TransferSource::endRequest(bool complete)
{
    if (complete && m_request)
        m_files.engineFinished(m_path);
    EngineDownload *request = detach();
    if (!request)
        return;
    if (request->state() == EngineDownload::State::Completed || request->isFinished()) {
        // Done requests are of no more use; the profile would keep them.
        request->release();
        return;
    }
    // Cancelled and not yet wound down, or interrupted (which the engine
    // keeps for resuming): cancel for good, release the request when the
    // engine is done, and sweep the partial file from then on. Whatever
    // becomes of the download meanwhile.
    PartialSweep *sweep = m_shared.leftovers;
    connect(request, &EngineDownload::finishedChanged, sweep, [sweep, request, path = m_path] {
        sweep->add(path, {});
        request->release();
    });
    if (request->state() != EngineDownload::State::Cancelled)
        request->cancel();
}

qint64 TransferSource::keepRequest(bool complete)
{
    dropFetch();
    dropRestart();
    if (complete)
        m_files.dataAtReservation(m_path);
    EngineDownload *request = detach();
    if (!request)
        return -1;
    request->pause();
    // The engine deletes its partial file when it ends.
    if (!complete)
        m_files.keepEngineData(m_path);
    return request->receivedBytes();
}

void TransferSource::letGo()
{
    dropFetch();
    EngineDownload *request = detach();
    if (!request) {
        m_files.remove(m_path);
        return;
    }
    request->cancel();
    request->release();
    m_files.handTo(m_shared.leftovers, m_path);
}

void TransferSource::resumeRequest()
{
    m_broken = false;
    m_request->resume();
}

void TransferSource::stop()
{
    if (m_request)
        m_request->pause();
    dropFetch();
    dropRestart();
}

void TransferSource::drop()
{
    dropFetch();
    dropRestart();
    forget();
    endRequest();
    m_files.handTo(m_shared.leftovers, m_path);
}

void TransferSource::fetchRest(RangeFetch::Target target)
{
    dropFetch();
    // The pages' own identity, and the proxy the application gives them.
    target.userAgent = m_shared.userAgent;
    target.partial = dataPath();
    target.files = m_files.made();
    const QString folder = QFileInfo(target.partial).absolutePath();
    m_fetch = std::make_unique<RangeFetch>(m_shared.network, std::move(target));
    restartClock(m_fetch->bytes());
    connect(m_fetch.get(), &RangeFetch::finished, this, [this, folder](RangeFetch::Outcome outcome, int status) {
        const RangeFetch *fetch = m_fetch.get();
        if (!fetch)
            return;
        // Told while its bytes still count; then it goes, unless what was
        // told started another.
        const QString why = StopReason::fetchText(outcome, folder, status);
        if (outcome == RangeFetch::Outcome::Complete || outcome == RangeFetch::Outcome::WriteError)
            emit ended(outcome == RangeFetch::Outcome::Complete ? Event::Complete : Event::Fail, why);
        else
            emit broke(why, false, StopReason::restartsFromPage(outcome));
        if (m_fetch.get() == fetch)
            dropFetch();
    });
}

void TransferSource::restartFrom(const QUrl &url, int entry, bool isFilePage)
{
    dropRestart();
    m_restart = m_shared.restart(url, entry, isFilePage);
    connect(m_restart.get(), &Restart::gaveUp, this, [this](const QString &why) {
        if (!m_restart)
            return;
        dropRestart();
        emit gaveUp(why);
    });
}

// Both possibly from inside their own signals.
void TransferSource::dropFetch()
{
    if (RangeFetch *fetch = m_fetch.release()) {
        fetch->abort();
        fetch->setParent(this);
        fetch->deleteLater();
    }
}

void TransferSource::dropRestart()
{
    if (Restart *restart = m_restart.release()) {
        restart->setParent(this);
        restart->deleteLater();
    }
}

void TransferSource::ask(const QUrl &url, const QUrl &page)
{
    m_page = page;
    const quint64 question = m_asking = ++m_questions;
    m_shared.probe->validators(url, page, this, [this, question](const ServerProbe::Validators &said) {
        if (m_asking != question)
            return;
        m_asking = 0;
        emit answered(said);
    });
}
