#pragma once

#include <QDeadlineTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include "DownloadFolder.h"

// The partial files of downloads that ended without landing. The engine
// writes its own file on a thread of its own, and may create it after the
// download was cancelled (the order of its events is its business). While
// the download's reservation stands, what appears under the engine's name is
// the engine's: it goes, and the reservation with it, at once or whenever it
// appears in its folder, checked every second too, until the engine has been
// done with it for a while. Only files the download made are ever removed.
class PartialSweep final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PartialSweep)

public:
    // Long enough for the engine's file thread to have let go.
    static constexpr int GraceMs = 10000;

    explicit PartialSweep(QObject *parent = nullptr);

    // Removes the partial files that the download that would have landed
    // at path made, and keeps removing them for GraceMs from now (again from
    // now when called again, say once the engine reports it is done).
    void add(const QString &path, const DownloadFolder::Files &files);
    // The paths still watched, and the files each download made, for the
    // next start to sweep should the program end first.
    QStringList paths() const { return m_until.keys(); }
    DownloadFolder::Files files(const QString &path) const { return m_until.value(path).files; }

signals:
    // paths() changed.
    void changed();

private:
    void watch(const QString &directory);
    void sweep(const QString &directory);
    void expire();

    QFileSystemWatcher m_watcher;
    void sweepOne(const QString &path);

    struct Swept
    {
        DownloadFolder::Files files {};
        QDeadlineTimer until {}; // when it is let go
    };
    QHash<QString, Swept> m_until; // by path
    QTimer m_expiry;
};
