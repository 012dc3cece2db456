#pragma once

#include <functional>

#include <QHash>
#include <QObject>
#include <QPointer>

#include "DownloadEntry.h"

class Downloads;

// Desktop notifications for the downloads: one when a download finishes,
// fails or breaks off, whether the list window is open or not. A download
// kept for the next start as the program ends is no failure.
class DownloadNotices final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadNotices)

public:
    // Desktop::notify's arguments; tests stand in their own.
    using Notify = std::function<void(const QString &summary, const QString &body, const QString &path, bool finished)>;
    explicit DownloadNotices(Downloads &downloads, QObject *parent = nullptr, Notify notify = {});

private:
    void onChanged(int id);

    QPointer<Downloads> m_downloads;
    Notify m_notify;
    // Each entry's state when last seen: only a change of state is news.
    QHash<int, DownloadEntry::State> m_seen;
};
