#include "DownloadNotices.h"

#include "Desktop.h"
#include "Downloads.h"
#include "StopReason.h"

DownloadNotices::DownloadNotices(Downloads &downloads, QObject *parent, Notify notify)
    : QObject(parent)
    , m_downloads(&downloads)
    , m_notify(notify ? std::move(notify) : Notify(&Desktop::notify))
{
    for (const DownloadEntry &entry : downloads.entries())
        m_seen.insert(entry.id, entry.state);
    connect(&downloads, &Downloads::entryAdded, this, &DownloadNotices::onChanged);
    connect(&downloads, &Downloads::entryChanged, this, &DownloadNotices::onChanged);
    connect(&downloads, &Downloads::entriesRemoved, this, [this](const QList<int> &ids) {
        for (const int id : ids)
            m_seen.remove(id);
    });
}

void DownloadNotices::onChanged(int id)
{
    if (!m_downloads)
        return;
    const DownloadEntry entry = m_downloads->entry(id);
    const auto seen = m_seen.constFind(id);
    const bool news = seen != m_seen.constEnd() && *seen != entry.state;
    m_seen.insert(id, entry.state);
    if (!news)
        return;
    const bool kept = entry.state == DownloadEntry::State::Interrupted && entry.reason == StopReason::earlierRunText();
    if (entry.state == DownloadEntry::State::Finished)
        m_notify(QStringLiteral("下载完成"), entry.name, entry.path, true);
    else if ((entry.state == DownloadEntry::State::Failed || entry.state == DownloadEntry::State::Interrupted) && !kept)
        m_notify(QStringLiteral("下载失败"), entry.name + QStringLiteral("：") + entry.reason, entry.path, false);
}
