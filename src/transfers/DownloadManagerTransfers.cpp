// Transfers under way: at most MaxRunning at once, their progress read on a
// clock, and the folder's free space watched while they write.
#include <algorithm>

#include <QFileInfo>
#include <QWebEngineDownloadRequest>

#include "DownloadManager.h"
#include "StopReason.h"

int DownloadManager::runningCount(const Record *except) const
{
    return int(std::count_if(m_records.cbegin(), m_records.cend(), [except](const auto &r) {
        return r.get() != except && r->entry.state == DownloadEntry::State::Running;
    }));
}

qint64 DownloadManager::liveBytes(const Record *record) const
{
    if (record->request)
        return record->request->receivedBytes();
    if (record->fetch)
        return record->fetch->bytes();
    return record->entry.received;
}

void DownloadManager::watchTransfers()
{
    m_progress.start();
    m_spaceWatch.start();
}

void DownloadManager::sample()
{
    bool any = false;
    const qint64 now = m_clock.elapsed();
    // By index: what the signals reach may add entries.
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        Record *r = m_records[i].get();
        DownloadEntry &e = r->entry;
        if (e.state != DownloadEntry::State::Running || !(r->request || r->fetch))
            continue;
        any = true;
        // The engine's file, known from its first sight on: only that goes.
        if (r->request && !r->files.data.isValid()) {
            r->files.data = DownloadFolder::engineFile(e.path, r->files);
            if (r->files.data.isValid())
                journalChanged(); // a crash from now on leaves data the next start knows
        }
        const qint64 received = liveBytes(r);
        const qint64 total = r->request ? r->request->totalBytes() : e.total;
        // Interrupted requests read 0 until they resume; keep what we had.
        if (received < e.received && received == 0)
            continue;
        const qint64 ms = now - r->sampled.ms;
        if (ms >= 1000 || (e.bytesPerSecond == 0 && ms >= 300)) {
            const qint64 speed = qMax<qint64>(0, received - r->sampled.bytes) * 1000 / qMax<qint64>(1, ms);
            e.bytesPerSecond = e.bytesPerSecond == 0 ? speed : (e.bytesPerSecond + speed) / 2;
            r->sampled = {received, now};
        }
        if (received != e.received || total != e.total) {
            e.received = received;
            e.total = total;
            if (!alreadyThere(r))
                emit entryChanged(e.id);
        }
    }
    if (!any)
        m_progress.stop();
}

void DownloadManager::checkSpace()
{
    if (runningCount() == 0) {
        m_spaceWatch.stop();
        return;
    }
    for (std::size_t i = 0; i < m_records.size(); ++i)
        checkSpace(m_records[i].get());
}

void DownloadManager::checkSpace(Record *record)
{
    // A download stops before it would leave less than the reserve free:
    // what it still announces must fit, and what it writes must not outgrow
    // the disk. A waiting one takes no room yet.
    if (record->entry.state != DownloadEntry::State::Running || !(record->request || record->fetch))
        return;
    const QString directory = QFileInfo(record->entry.path).absolutePath();
    const qint64 total = record->request ? record->request->totalBytes() : record->entry.total;
    const qint64 remaining = total > 0 ? qMax<qint64>(0, total - liveBytes(record)) : 0;
    const qint64 free = m_folder.freeSpace(directory);
    const qint64 room = free - DownloadFolder::SpareBytes;
    if (room >= remaining && room >= 0)
        return;
    finish(record, DownloadEntry::State::Failed, StopReason::noSpaceText(total, directory, free));
}

void DownloadManager::startQueued()
{
    int running = runningCount();
    for (std::size_t i = 0; i < m_records.size() && running < MaxRunning; ++i) {
        Record *r = m_records[i].get();
        if (r->entry.state != DownloadEntry::State::Waiting)
            continue;
        if (r->request) {
            setState(r, DownloadEntry::State::Running);
            r->request->resume();
            ++running;
            watchTransfers();
        } else if (r->entry.fromEarlierRun && !r->restart) {
            continueEarlier(r);
            ++running;
        }
    }
}
