#pragma once

#include <functional>

#include <QString>

// Where downloads land, how much room they may take there, and the files a
// download keeps in it: the name it reserved and the engine's partial file.
class DownloadFolder
{
public:
    // Kept free on the folder's disk, for the rest of the desktop.
    static constexpr qint64 SpareBytes = 64LL << 20;

    // Defaults to the desktop's download folder.
    void setPath(const QString &path) { m_path = path; }
    QString path() const;

    // How many bytes a directory's file system has free; tests stand in a
    // small disk.
    using FreeSpace = std::function<qint64(const QString &directory)>;
    void setFreeSpace(FreeSpace freeSpace) { m_freeSpace = std::move(freeSpace); }
    // What a download may still write in directory: its free space less the
    // reserve (negative when even that is gone).
    qint64 room(const QString &directory) const;

    // Creates name, or "base (1).ext", "base (2).ext" … exclusively in
    // directory and returns its path; empty when the folder cannot be written.
    static QString reserveFile(const QString &directory, const QString &name);
    // Where the engine writes a download saved at path until it completes.
    static QString partialPath(const QString &path);
    // Removes what a download left at path: the reserved name and the partial file.
    static void removePartial(const QString &path);
    // Whether directory is a folder this user may write in, as one the user
    // chooses must be.
    static bool isWritable(const QString &directory);

private:
    QString m_path;
    FreeSpace m_freeSpace;
};
