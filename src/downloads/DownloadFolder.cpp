#include "DownloadFolder.h"

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>

#include "StopReason.h"

namespace {

constexpr int MaxNumber = 100000;
const QString FolderKey = QStringLiteral("downloads/folder");

// The n-th candidate for name: name itself, then "base (n).ext" with
// ".tar.gz" counted as one extension.
QString candidate(const QDir &dir, const QString &name, int n)
{
    if (n == 0)
        return dir.filePath(name);
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && name.left(dot).endsWith(QLatin1String(".tar"), Qt::CaseInsensitive))
        dot -= 4;
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    return dir.filePath(QStringLiteral("%1 (%2)%3").arg(base, QString::number(n), ext));
}

// Where the engine writes the data of a download whose reservation stands:
// whatever is there is taken for the engine's.
bool enginesName(const QString &path)
{
    const QString suffix = DownloadFolder::enginePartialPath(QString());
    return path.endsWith(suffix) && FileIdentity::anythingAt(DownloadFolder::reservedPath(path.chopped(suffix.size())));
}

// A dangling link counts: the engine would write through it.
bool taken(const QString &path)
{
    return FileIdentity::anythingAt(path) || FileIdentity::anythingAt(DownloadFolder::reservedPath(path))
           || FileIdentity::anythingAt(DownloadFolder::enginePartialPath(path)) || enginesName(path);
}

} // namespace

QString DownloadFolder::path() const
{
    if (!m_path.isEmpty())
        return m_path;
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (dir.isEmpty())
        dir = QDir::homePath();
    return dir;
}

QString DownloadFolder::remembered()
{
    const QString path = QSettings().value(FolderKey).toString();
    // A folder gone since (a disk not plugged in): the desktop's, this time.
    return !path.isEmpty() && QFileInfo(path).isDir() ? path : QString();
}

void DownloadFolder::remember(const QString &path)
{
    QSettings().setValue(FolderKey, path);
}

QString DownloadFolder::noRoom(const QString &directory, qint64 total, qint64 received) const
{
    const qint64 free = m_freeSpace ? m_freeSpace(directory) : QStorageInfo(directory).bytesAvailable();
    const qint64 room = free - SpareBytes;
    const qint64 remaining = total > 0 ? qMax<qint64>(0, total - received) : 0;
    return room >= remaining && room >= 0 ? QString() : StopReason::noSpaceText(total, directory, free);
}

DownloadFolder::Reservation DownloadFolder::reserveFile(const QString &directory, const QString &name,
                                                        const QStringList &busy)
{
    const QDir dir(directory);
    for (int n = 0; n < MaxNumber; ++n) {
        const QString path = candidate(dir, name, n);
        if (taken(path) || busy.contains(path))
            continue;
        // Created exclusively, so another program (or another instance of
        // this one) saving the same name can never write over it.
        if (const FileIdentity reserved = FileIdentity::create(reservedPath(path)); reserved.isValid())
            return {.path = path, .reserved = reserved};
        if (!FileIdentity::anythingAt(reservedPath(path)))
            return {};
    }
    return {};
}

QString DownloadFolder::reservedPath(const QString &path)
{
    return path + QStringLiteral(".part");
}

QString DownloadFolder::enginePartialPath(const QString &path)
{
    // The engine's own name for the file it is writing.
    return reservedPath(path) + QStringLiteral(".download");
}

QString DownloadFolder::land(const QString &from, const FileIdentity &data, const QString &path, bool reserved) const
{
    const QFileInfo wanted(path);
    const QDir dir = wanted.absoluteDir();
    for (int n = 0; n < MaxNumber; ++n) {
        const QString target = candidate(dir, wanted.fileName(), n);
        // Another download's or program's partial files count as taken,
        // except our own reservation.
        if (((n > 0 || !reserved) && taken(target)) || enginesName(target))
            continue;
        if (m_move ? m_move(data, from, target) : data.move(from, target))
            return target;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

QString DownloadFolder::landAndTidy(const QString &from, const Files &files, const QString &path,
                                    const QString &name) const
{
    const FileIdentity data = FileIdentity::of(from);
    if (!files.holds(data))
        return {};
    QString landed;
    if (const QString named = QFileInfo(path).dir().filePath(name); !name.isEmpty())
        landed = land(from, data, named, named == path);
    // The server's name may not fit where the engine's did (names of at most
    // 143 bytes on an encrypted home): the reserved one then.
    if (landed.isEmpty())
        landed = land(from, data, path, true);
    // The reservation goes; not the data, where a server named it so.
    if (!landed.isEmpty() && landed != reservedPath(path) && landed != enginePartialPath(path))
        removePartial(path, files);
    return landed;
}

FileIdentity DownloadFolder::engineFile(const QString &path, const Files &files)
{
    const FileIdentity there = FileIdentity::of(enginePartialPath(path));
    if (files.holds(there))
        return there;
    return files.holds(FileIdentity::of(reservedPath(path))) ? there : FileIdentity {};
}

bool DownloadFolder::keepData(const QString &path, Files &files)
{
    const FileIdentity engines = engineFile(path, files);
    if (engines.isValid()) {
        if (!engines.moveOver(enginePartialPath(path), reservedPath(path), files.reserved))
            return false;
        files = {.reserved = engines, .data = engines};
        return true;
    }
    const FileIdentity moved = finishedFile(path, files);
    if (!moved.isValid())
        return false;
    files = {.reserved = moved, .data = moved};
    return true;
}

FileIdentity DownloadFolder::finishedFile(const QString &path, const Files &files)
{
    // The engine's one rename puts its file over the reservation, as when it
    // reports it has finished.
    const FileIdentity moved = FileIdentity::of(reservedPath(path));
    const bool theEngines
        = files.data.isValid() ? moved == files.data : files.reserved.isValid() && moved != files.reserved;
    return theEngines && moved.isValid() && !FileIdentity::anythingAt(enginePartialPath(path)) ? moved
                                                                                               : FileIdentity {};
}

DownloadFolder::Files DownloadFolder::removePartial(const QString &path, Files files)
{
    if (path.isEmpty())
        return {}; // not ".part" in the working directory
    if (!files.data.isValid())
        files.data = engineFile(path, files);
    Files left;
    for (const QString &partial : {enginePartialPath(path), reservedPath(path)}) {
        const FileIdentity there = FileIdentity::of(partial);
        if (files.holds(there) && !there.remove(partial))
            (there == files.reserved ? left.reserved : left.data) = there;
    }
    return left;
}

bool DownloadFolder::isWritable(const QString &directory)
{
    // access(2) underneath: it knows read-only mounts and ACLs too.
    const QFileInfo info(directory);
    return info.isDir() && info.isWritable();
}
