#pragma once

#include <QString>

#include "DownloadFolder.h"

class PartialSweep;

// The files one download made in the folder, each known by its identity
// from its creation on, and where its data is: the engine's file while the
// engine writes it, else the reservation or the data an earlier run kept.
// Only these files are ever removed or renamed, never through a link.
// path is always the final path the download would land at.
class TransferFiles
{
public:
    TransferFiles() = default;
    TransferFiles(const DownloadFolder::Files &made, const QString &data)
        : m_made(made)
        , m_data(data)
    { }

    const DownloadFolder::Files &made() const { return m_made; }
    // A download begins at the name it reserved.
    void begin(const FileIdentity &reserved) { *this = TransferFiles({.reserved = reserved}, {}); }
    // Where its data is.
    QString dataPath(const QString &path) const;
    // What the journal records of where its data is (kept: the data was
    // moved over the reservation); empty once there is nothing.
    QString journalled(const QString &path, bool kept) const;

    // The engine's file, known from its first sight on; true when it is
    // known only now.
    bool noticeEngineFile(const QString &path);
    // The engine is done and moved its data over the reservation.
    void engineFinished(const QString &path);
    // The data is complete at the reservation, the engine let go of it.
    void dataAtReservation(const QString &path) { m_data = DownloadFolder::reservedPath(path); }
    // The engine stops: its data moves over the reservation, to be kept.
    void keepEngineData(const QString &path);

    // What it made goes: to the sweep, which waits for the engine to let go
    // of its file, or at once.
    void handTo(PartialSweep *sweep, const QString &path);
    void remove(const QString &path);
    // The complete data at from lands (under name, where given); returns
    // where, empty when it could not be moved: the data then stays where it
    // is, the user's now, and nothing of this download removes it.
    QString land(const DownloadFolder &folder, QString from, const QString &path, const QString &name);

private:
    DownloadFolder::Files m_made;
    QString m_data; // when not the engine's file
};
