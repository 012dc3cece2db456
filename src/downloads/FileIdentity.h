#pragma once

#include <QString>
#include <QtGlobal>

// Which file a name stands for: its device and inode, and when it was made
// where the file system tells (an inode goes to the next new file as soon
// as its file is deleted). A download keeps the identity of each file it
// made from the moment it is made, and removes or renames a name only while
// the name still stands for that very file, never through a symbolic link.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 born = 0; // nanoseconds since the epoch; 0: not known

    bool isValid() const { return inode != 0; }
    // The regular file at path itself (a link is not followed); invalid when
    // there is none.
    static FileIdentity of(const QString &path);
    // Whether anything stands at path, a dangling link included.
    static bool anythingAt(const QString &path);
    // Creates path exclusively, never through a link; invalid when it could
    // not.
    static FileIdentity create(const QString &path);

    // Opens the regular file at path to append to it, never through a link
    // and never creating it; the descriptor, or -1, and which file it is.
    static int openToAppend(const QString &path, FileIdentity &opened);
    // Removes path while it is this file; false when it is not (or is gone).
    bool remove(const QString &path) const;
    // Moves from to `to` while from is this file, never replacing what is at
    // `to`. Sets errno and returns false when it cannot.
    bool move(const QString &from, const QString &to) const;
    // Moves from over `to` while from is this file and `to` is `replaced` or
    // nothing.
    bool moveOver(const QString &from, const QString &to, const FileIdentity &replaced) const;

    // A birth time known on one side only (an earlier version's journal)
    // does not tell them apart.
    friend bool operator==(const FileIdentity &a, const FileIdentity &b)
    {
        return a.device == b.device && a.inode == b.inode && (a.born == 0 || b.born == 0 || a.born == b.born);
    }
};
