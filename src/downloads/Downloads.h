#pragma once

#include <QList>
#include <QObject>

#include "DownloadEntry.h"

// What the download list and the quit question need of the session's
// downloads. The engine side implements it; the list knows nothing else of
// it, so it is tested against a fake, and the engine knows no widget.
class Downloads : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~Downloads() override = default;

    // Every entry of the session, oldest first.
    virtual QList<DownloadEntry> entries() const = 0;
    // The entry with this id; an entry with id 0 when there is none.
    virtual DownloadEntry entry(int id) const = 0;
    // Pause, Resume, Cancel, Delete, Retry, DownloadAnyway and OpenExisting; the
    // others are the desktop's. An action the entry does not offer is ignored.
    virtual void act(int id, DownloadEntry::Action action) = 0;
    // Stops every unfinished download and removes its partial data.
    virtual void cancelAll() = 0;
    // Stops every unfinished download and keeps it, with its data, for the
    // next start. False when the record of them could not be written: the
    // next start will not list them.
    virtual bool keepAll() = 0;
    // The folder new downloads are saved to; those admitted keep theirs.
    virtual QString folderPath() const = 0;
    virtual void setFolderPath(const QString &path) = 0;
    // Drops the entries that ended (finished, failed, cancelled, nothing
    // came) from the list; their files stay.
    virtual void clearEnded() = 0;

    // A result row was clicked: its entry, there at once with the row's
    // title and file page, for the download that the click's grant names.
    // 0 (and the list shown) when that file page is opening already or its
    // file is downloading.
    virtual int addClick(const QString &title, const QUrl &page) = 0;
    // The click led to no download: its entry says why.
    virtual void clickGaveUp(int id, const QString &reason) = 0;

    // Whether any entry still holds or moves data, so quitting asks first.
    bool hasUnfinished() const;
    // "有 2 个下载尚未完成（已下载 1.5 MB，共 8 MB）。", and those that wait
    // for the user's choice of a file already there; or nothing.
    QString unfinishedText() const;

signals:
    void entryAdded(int id);
    void entryChanged(int id);
    // The user asked again for a download already under way: show the list.
    void attentionWanted();
    void entriesRemoved(const QList<int> &ids);
    // A download came for the entry of a click (or was refused for a reason
    // the entry shows): the click has its answer.
    void clickAnswered(int id);
};
