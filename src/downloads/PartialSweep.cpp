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

void PartialSweep::add(const QString &path)
{
    if (path.isEmpty())
        return;
    // Watched before the removal, so that a file the engine creates in
    // between is seen.
    watch(QFileInfo(path).absolutePath());
    DownloadFolder::removePartial(path);
    const bool added = !m_until.contains(path);
    m_until.insert(path, QDeadlineTimer(GraceMs));
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
    for (auto it = m_until.cbegin(); it != m_until.cend(); ++it) {
        if (QFileInfo(it.key()).absolutePath() == directory)
            DownloadFolder::removePartial(it.key());
    }
}

void PartialSweep::expire()
{
    const qsizetype before = m_until.size();
    QStringList watched;
    for (auto it = m_until.begin(); it != m_until.end();) {
        // Also where no watch could be set, or the folder was made again
        // (a deleted folder's watch is gone).
        DownloadFolder::removePartial(it.key());
        if (it.value().hasExpired()) {
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
