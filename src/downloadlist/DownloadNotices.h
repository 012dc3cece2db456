#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

#include "DownloadEntry.h"

class Downloads;

// Desktop notifications for the downloads: one when a download finishes,
// fails or breaks off, whether the list window is open or not.
class DownloadNotices final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadNotices)

public:
    explicit DownloadNotices(Downloads &downloads, QObject *parent = nullptr);

private:
    void onChanged(int id);

    QPointer<Downloads> m_downloads;
    // Each entry's state when last seen: only a change of state is news.
    QHash<int, DownloadEntry::State> m_seen;
};
