#include "FakeDownloads.h"

using State = DownloadEntry::State;

void FakeDownloads::act(int id, DownloadEntry::Action action)
{
    acted << qMakePair(id, action);
    if (onAct)
        onAct(id, action);
    if (!playsAlong || !all.contains(id))
        return;
    if (action == DownloadEntry::Delete) {
        all.remove(id);
        emit entriesRemoved({id});
    } else if (action == DownloadEntry::Pause) {
        change(id, [](DownloadEntry &e) { e.state = State::Paused; });
    }
}

void FakeDownloads::clearEnded()
{
    QList<int> ids;
    for (const DownloadEntry &e : std::as_const(all)) {
        if (e.hasEnded())
            ids << e.id;
    }
    for (const int id : std::as_const(ids))
        all.remove(id);
    if (!ids.isEmpty())
        emit entriesRemoved(ids);
}

DownloadEntry FakeDownloads::entry(State state, qint64 received, qint64 total, bool fromEarlierRun)
{
    DownloadEntry e;
    e.state = state;
    e.received = received;
    e.total = total;
    e.fromEarlierRun = fromEarlierRun;
    return e;
}

int FakeDownloads::add(DownloadEntry entry)
{
    entry.id = m_nextId++;
    all.insert(entry.id, entry);
    emit entryAdded(entry.id);
    return entry.id;
}

void FakeDownloads::change(int id, const std::function<void(DownloadEntry &)> &how)
{
    how(all[id]);
    emit entryChanged(id);
}
