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
    DownloadFolder::removePartial(path);
    const bool added = !m_until.contains(path);
    m_until.insert(path, QDeadlineTimer(GraceMs));
    const QString directory = QFileInfo(path).absolutePath();
    if (!m_watcher.directories().contains(directory))
        m_watcher.addPath(directory);
    m_expiry.start();
    if (added)
        emit changed();
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
    for (auto it = m_until.begin(); it != m_until.end();) {
        if (!it.value().hasExpired()) {
            ++it;
            continue;
        }
        DownloadFolder::removePartial(it.key()); // once more, on the way out
        it = m_until.erase(it);
    }
    QStringList watched;
    for (const QString &path : m_until.keys())
        watched << QFileInfo(path).absolutePath();
    for (const QString &directory : m_watcher.directories()) {
        if (!watched.contains(directory))
            m_watcher.removePath(directory);
    }
    if (m_until.isEmpty())
        m_expiry.stop();
    if (m_until.size() != before)
        emit changed();
}
