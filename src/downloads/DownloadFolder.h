#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "FileIdentity.h"

// Where downloads land, how much room they may take there, and the files a
// download keeps in it. Nothing is ever under a download's final name until
// its data is complete: while it transfers, the data (and the name's
// reservation) is its partial file, and only the finished data moves to the
// final name, never over a file that is there. A download removes and moves
// only the files it made, known by their identity.
class DownloadFolder
{
public:
    // The files one download made in the folder: the reservation, and the
    // file holding its data (the engine's, or the kept data).
    struct Files
    {
        FileIdentity reserved {};
        FileIdentity data {};
        bool holds(const FileIdentity &file) const { return file.isValid() && (file == reserved || file == data); }
        friend bool operator==(const Files &, const Files &) = default;
    };
    struct Reservation
    {
        QString path {}; // the final path; empty when the folder cannot be written
        FileIdentity reserved {};
    };

    // Kept free on the folder's disk, for the rest of the desktop.
    static constexpr qint64 SpareBytes = 64LL << 20;

    // Defaults to the desktop's download folder.
    void setPath(const QString &path) { m_path = path; }
    QString path() const;
    // A folder the user chose, not the desktop's.
    bool isChosen() const { return !m_path.isEmpty(); }

    // The folder the user chose, kept in the program's settings for the next
    // start; empty when there is none or it is no folder any more.
    static QString remembered();
    static void remember(const QString &path);

    // How many bytes a directory's file system has free; tests stand in a
    // small disk.
    using FreeSpace = std::function<qint64(const QString &directory)>;
    void setFreeSpace(FreeSpace freeSpace) { m_freeSpace = std::move(freeSpace); }
    // Why the rest of a download of total bytes (-1: unknown), received of
    // them so far, does not fit on directory's disk with SpareBytes kept
    // free; empty when it does.
    QString noRoom(const QString &directory, qint64 total, qint64 received) const;
    // How complete data moves to a free name (FileIdentity::move); tests
    // stand in a file system that can neither rename without replacing nor
    // link.
    using Move = std::function<bool(const FileIdentity &data, const QString &from, const QString &to)>;
    void setMove(Move move) { m_move = std::move(move); }

    // Chooses name, or "base (1).ext", "base (2).ext" …, free in directory
    // (no file of that name, no download's partial files, not where another
    // download's engine writes, and not one of busy; a dangling link counts
    // as a file), reserves it by creating its
    // reservedPath() exclusively, and returns the final path with the
    // reservation's identity.
    static Reservation reserveFile(const QString &directory, const QString &name, const QStringList &busy = {});
    // "name.part": the name's reservation (empty while the engine writes),
    // where the engine is told to save a download that lands at path, and
    // where its data is kept between runs.
    static QString reservedPath(const QString &path);
    // "name.part.download": the file the engine writes the data to while it
    // transfers, renamed to reservedPath() when done.
    static QString enginePartialPath(const QString &path);
    // Moves complete data, the file `data` at `from`, to path, or to the
    // next free "base (n).ext" when path is taken: by a file, by partial
    // files of that name (reserved: path is the name this download reserved,
    // whose reservation is its own), or as where another download's engine
    // writes. Never replaces a file. Returns where it landed, empty when it
    // could not be moved.
    QString land(const QString &from, const FileIdentity &data, const QString &path, bool reserved) const;
    // The same, under name in path's folder where it is given (else, or
    // when that name cannot be written there, under path's own), and the
    // reservation is given up. Empty, the data left where it is, when it
    // cannot be moved at all.
    QString landAndTidy(const QString &from, const Files &files, const QString &path, const QString &name = {}) const;
    // The engine's file for path, once it made one: while the download's
    // reservation stands, what is at the engine's name is the engine's.
    static FileIdentity engineFile(const QString &path, const Files &files);
    // The engine's file, finished before it could say so: over the
    // reservation, nothing left at the engine's name. Known by its identity
    // once seen, else only while the program runs: the reservation stood.
    static FileIdentity finishedFile(const QString &path, const Files &files);
    // Moves the engine's data over the reservation, to keep it between runs
    // (or finds it there, the engine having finished); files then name it.
    // False when there is no such data of ours.
    static bool keepData(const QString &path, Files &files);
    // Removes what a download that would land at path left: those of its
    // partial files that are still its own, never the final name. Returns
    // those still there: an identity whose file is gone is forgotten, as
    // another file may get it next.
    static Files removePartial(const QString &path, Files files);
    // Whether directory is a folder this user may write in, as one the user
    // chooses must be.
    static bool isWritable(const QString &directory);

private:
    QString m_path;
    FreeSpace m_freeSpace;
    Move m_move;
};
