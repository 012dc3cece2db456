#include "FakeDownloads.h"

#include <algorithm>

DownloadEntry FakeDownloads::entry(int id) const
{
    const auto it = std::find_if(all.cbegin(), all.cend(), [id](const DownloadEntry &e) { return e.id == id; });
    return it == all.cend() ? DownloadEntry {} : *it;
}

void FakeDownloads::act(int id, DownloadEntry::Action action)
{
    acted << qMakePair(id, action);
    if (onAct)
        onAct(id, action);
}

void FakeDownloads::clearEnded()
{
    QList<int> ids;
    all.removeIf([&ids](const DownloadEntry &e) {
        if (e.isUnfinished())
            return false;
        ids << e.id;
        return true;
    });
    if (!ids.isEmpty())
        emit entriesRemoved(ids);
}

int FakeDownloads::add(DownloadEntry entry)
{
    entry.id = m_nextId++;
    all << entry;
    emit entryAdded(entry.id);
    return entry.id;
}

void FakeDownloads::change(int id, const std::function<void(DownloadEntry &)> &how)
{
    for (DownloadEntry &e : all) {
        if (e.id == id) {
            how(e);
            emit entryChanged(id);
            return;
        }
    }
}
