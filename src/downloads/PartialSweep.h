#pragma once

#include <QDeadlineTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

// The partial files of downloads that ended without landing. The engine
// writes its own file on a thread of its own, and may create it after the
// download was cancelled (the order of its events is its business): each
// path's partial names are removed at once, and again whenever they appear
// in its folder and every second, until the engine has been done with it for
// a while.
class PartialSweep final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PartialSweep)

public:
    // Long enough for the engine's file thread to have let go.
    static constexpr int GraceMs = 10000;

    explicit PartialSweep(QObject *parent = nullptr);

    // Removes the partial files of the download that would have landed at
    // path, and keeps removing them for GraceMs from now (again from now
    // when called again, say once the engine reports it is done).
    void add(const QString &path);
    // The paths still watched, for the next start to sweep should the
    // program end first.
    QStringList paths() const { return m_until.keys(); }

signals:
    // paths() changed.
    void changed();

private:
    void watch(const QString &directory);
    void sweep(const QString &directory);
    void expire();

    QFileSystemWatcher m_watcher;
    QHash<QString, QDeadlineTimer> m_until; // path -> when it is let go
    QTimer m_expiry;
};
