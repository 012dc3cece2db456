#include "PartialSweep.h"

#include <QFileInfo>

#include "DownloadFolder.h"

namespace {
constexpr int ExpiryCheckMs = 1000;
} // namespace

PartialSweep::PartialSweep(QObject *parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &PartialSweep::sweep);
    m_expiry.setInterval(ExpiryCheckMs);
    connect(&m_expiry, &QTimer::timeout, this, &PartialSweep::expire);
}

void PartialSweep::add(const QString &path, const DownloadFolder::Files &files)
{
    if (path.isEmpty())
        return;
    // Watched before the removal, so that a file the engine creates in
    // between is seen.
    watch(QFileInfo(path).absolutePath());
    const bool added = !m_until.contains(path);
    Swept &swept = m_until[path];
    swept.files.reserved = files.reserved.isValid() ? files.reserved : swept.files.reserved;
    swept.files.data = files.data.isValid() ? files.data : swept.files.data;
    swept.until = QDeadlineTimer(GraceMs);
    sweepOne(path);
    if (!m_expiry.isActive())
        m_expiry.start();
    if (added)
        emit changed();
}

void PartialSweep::watch(const QString &directory)
{
    if (!m_watcher.directories().contains(directory) && QFileInfo(directory).isDir())
        m_watcher.addPath(directory);
}

void PartialSweep::sweep(const QString &directory)
{
    for (const QString &path : m_until.keys()) {
        if (QFileInfo(path).absolutePath() == directory)
            sweepOne(path);
    }
}

// Once the engine's file is known, all the download made goes; until then
// the reservation stands, so that what appears under the engine's name is
// known for the engine's.
void PartialSweep::sweepOne(const QString &path)
{
    Swept &swept = m_until[path];
    if (const FileIdentity engines = DownloadFolder::engineFile(path, swept.files); engines.isValid())
        swept.files.data = engines;
    else if (const FileIdentity finished = DownloadFolder::finishedFile(path, swept.files); finished.isValid())
        swept.files.data = finished;
    if (swept.files.data.isValid())
        swept.files = DownloadFolder::removePartial(path, swept.files);
}

void PartialSweep::expire()
{
    const qsizetype before = m_until.size();
    QStringList watched;
    for (auto it = m_until.begin(); it != m_until.end();) {
        // Also where no watch could be set, or the folder was made again
        // (a deleted folder's watch is gone).
        sweepOne(it.key());
        if (it.value().until.hasExpired()) {
            DownloadFolder::removePartial(it.key(), it.value().files);
            it = m_until.erase(it);
            continue;
        }
        const QString directory = QFileInfo(it.key()).absolutePath();
        watched << directory;
        watch(directory);
        ++it;
    }
    for (const QString &directory : m_watcher.directories()) {
        if (!watched.contains(directory))
            m_watcher.removePath(directory);
    }
    if (m_until.isEmpty())
        m_expiry.stop();
    if (m_until.size() != before)
        emit changed();
}
