// Downloads whose entries the test writes, for the list window without the engine.
#pragma once

#include <functional>

#include "Downloads.h"

class FakeDownloads : public Downloads
{
public:
    QList<DownloadEntry> entries() const override { return all; }
    DownloadEntry entry(int id) const override { return all.value(id - 1); }
    void act(int id, DownloadEntry::Action action) override;
    void cancelAll() override { }
    void keepAll() override { }

    // Adds an entry with the next id and announces it.
    int add(DownloadEntry entry);
    // Changes an entry and announces it.
    void change(int id, const std::function<void(DownloadEntry &)> &how);

    QList<DownloadEntry> all; // entry n has id n + 1
    QList<QPair<int, DownloadEntry::Action>> acted;
    std::function<void(int id, DownloadEntry::Action)> onAct;
};
