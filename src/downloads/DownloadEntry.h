#pragma once

#include <QFlags>
#include <QString>
#include <QUrl>

// One entry of the session's download list, as plain data: what it is, how
// far it got, and from that alone the texts and buttons the list shows. No
// widgets and no engine, so its rules are tested directly.
struct DownloadEntry
{
    enum class State {
        Opening, // a result row was clicked: its file page is on its way
        Waiting, // accepted, paused until a slot is free
        Running,
        Paused,      // by the user
        Interrupted, // broken off; the partial data is kept for 继续
        Failed,      // broken off for good; 重试 starts again
        Finished,
        Cancelled,    // by the user
        AlreadyThere, // paused: the same file is already in the folder
        NothingCame,  // a result was clicked but no download began
    };

    enum Action {
        NoAction = 0,
        Pause = 1 << 0,
        Resume = 1 << 1,
        Cancel = 1 << 2,
        Retry = 1 << 3,
        Open = 1 << 4,
        OpenFolder = 1 << 5,
        OpenExisting = 1 << 6,
        DownloadAnyway = 1 << 7,
        OpenPage = 1 << 8,
        Delete = 1 << 9, // a download of an earlier run: its partial data
    };
    Q_DECLARE_FLAGS(Actions, Action)

    int id = 0;
    State state = State::Running;
    QString name {}; // file name shown; the result's title for Opening and NothingCame
    QString path {}; // where it lands (or the existing file for AlreadyThere)
    QUrl url {};     // the download's address, or the file page for Opening and NothingCame
    qint64 received = 0;
    qint64 total = -1; // -1 when the server did not say
    qint64 bytesPerSecond = 0;
    QString reason {}; // why it stopped, in Chinese
    // Left unfinished by an earlier run: only its partial data is left, and
    // 继续 fetches the rest (or starts it again from its file page).
    bool fromEarlierRun = false;

    // The buttons that fit the state; the list decides their order.
    Actions actions() const;
    // The line under the name: state, and while running speed and time left.
    QString statusText() const;
    // The size column: "1.5 MB / 3 MB", or what is known.
    QString sizeText() const;
    // Progress in thousandths, or -1 when the total is unknown or the
    // download was cancelled or failed.
    int permille() const;
    // Whether it still holds or moves data, so quitting asks first.
    bool isUnfinished() const;
    // Whether nothing more will come of it (finished, failed, cancelled,
    // nothing came), so the list may drop it.
    bool hasEnded() const;

    static QString actionText(Action action);
    static QString stateText(State state);
    // "12 秒", "3 分 5 秒", "1 小时 2 分".
    static QString durationText(qint64 seconds);
    // A size in 1024-based units, as the site writes them: "512 字节", "64 KB",
    // "1.5 MB", "4 GB".
    static QString bytesText(qint64 bytes);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DownloadEntry::Actions)
