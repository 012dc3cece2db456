#pragma once

#include <functional>

#include <QList>
#include <QObject>
#include <QString>

class Browser;
class FreeDownloadClick;

// The result rows' clicks being served. Each click loads its file page in a
// browser of its own, under the grant of that click alone: W2, and while W2
// is busy up to two more made for the purpose (let go once their click is
// served), so that a file page that answers slowly holds up no other click.
// Further clicks wait their turn, in the order they came.
class FilePages final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilePages)

public:
    // As many as the transfers that may run at once.
    static constexpr int MaxPages = 3;

    struct Click
    {
        QString page;  // the file page's address
        int entry = 0; // the download list's entry it belongs to
    };
    using MakeBrowser = std::function<Browser *()>;

    FilePages(Browser *first, MakeBrowser more, QObject *parent = nullptr);

    // Whether the click for this page is under way or waiting its turn.
    bool isServing(const QString &page) const;
    void open(const Click &click);
    // The download of this entry's click came: the click is served.
    void answered(int entry);
    // How long each click waits for its download (the grant's lifetime).
    void setDeadline(int milliseconds) { m_deadlineMs = milliseconds; }
    // The file pages in use.
    int pagesInUse() const { return int(m_serving.size()); }

signals:
    void gaveUp(const FilePages::Click &click, const QString &reason);

private:
    struct Serving
    {
        Click click;
        Browser *browser;
        FreeDownloadClick *freeClick;
    };
    Browser *made();
    void serve(const Click &click, Browser *browser);
    // A file page's document completed: the click it serves clicks its
    // free-download tables, one download's worth.
    void documentComplete(Browser *browser);
    void release(FreeDownloadClick *freeClick, bool answered);

    Browser *m_first;
    MakeBrowser m_more;
    QList<Serving> m_serving;
    QList<Click> m_waiting;
    int m_deadlineMs = 0; // 0: the grant's lifetime
};
