// Downloads whose entries the test writes, for the list window without the engine.
#pragma once

#include <functional>

#include <QMap>

#include "Downloads.h"

class FakeDownloads : public Downloads
{
public:
    QList<DownloadEntry> entries() const override { return all.values(); }
    DownloadEntry entry(int id) const override { return all.value(id); }
    void act(int id, DownloadEntry::Action action) override;
    void cancelAll() override { }
    bool keepAll() override { return true; }
    QString folderPath() const override { return folder; }
    void setFolderPath(const QString &path) override { folder = path; }
    void clearEnded() override;
    // The list never registers clicks.
    int addClick(const QString &, const QUrl &) override { return 0; }
    void clickGaveUp(int, const QString &) override { }

    // An entry in that state, received of total bytes (-1: never told).
    static DownloadEntry entry(DownloadEntry::State state, qint64 received = 0, qint64 total = -1,
                               bool fromEarlierRun = false);
    // Adds an entry with the next id and announces it.
    int add(DownloadEntry entry);
    // Changes an entry and announces it.
    void change(int id, const std::function<void(DownloadEntry &)> &how);

    QMap<int, DownloadEntry> all; // by id, from 1: oldest first
    QList<QPair<int, DownloadEntry::Action>> acted;
    std::function<void(int id, DownloadEntry::Action)> onAct;
    // Acts as the downloads would on 暂停 and 删除 (after onAct).
    bool playsAlong = false;
    QString folder = QStringLiteral("/dl");

private:
    int m_nextId = 1;
};
