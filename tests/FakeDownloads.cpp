#include "FakeDownloads.h"

void FakeDownloads::act(int id, DownloadEntry::Action action)
{
    acted << qMakePair(id, action);
    if (onAct)
        onAct(id, action);
}

int FakeDownloads::add(DownloadEntry entry)
{
    entry.id = int(all.size()) + 1;
    all << entry;
    emit entryAdded(entry.id);
    return entry.id;
}

void FakeDownloads::change(int id, const std::function<void(DownloadEntry &)> &how)
{
    how(all[id - 1]);
    emit entryChanged(id);
}
