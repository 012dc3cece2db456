#include "DownloadFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>

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
    return dir.filePath(QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(ext));
}

bool taken(const QString &path)
{
    return QFileInfo::exists(path) || QFileInfo::exists(DownloadFolder::reservedPath(path))
           || QFileInfo::exists(DownloadFolder::enginePartialPath(path));
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

qint64 DownloadFolder::freeSpace(const QString &directory) const
{
    return m_freeSpace ? m_freeSpace(directory) : QStorageInfo(directory).bytesAvailable();
}

QString DownloadFolder::reserveFile(const QString &directory, const QString &name, const QStringList &busy)
{
    const QDir dir(directory);
    for (int n = 0; n < MaxNumber; ++n) {
        const QString path = candidate(dir, name, n);
        if (taken(path) || busy.contains(path))
            continue;
        // Created exclusively, so another program (or another instance of
        // this one) saving the same name can never write over it.
        QFile file(reservedPath(path));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!QFileInfo::exists(file.fileName()))
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

QString DownloadFolder::land(const QString &from, const QString &path)
{
    const QFileInfo wanted(path);
    const QDir dir = wanted.absoluteDir();
    const QByteArray source = QFile::encodeName(from);
    for (int n = 0; n < MaxNumber; ++n) {
        const QString target = candidate(dir, wanted.fileName(), n);
        // Another download's reservation counts as taken, except our own.
        if (n > 0 && taken(target))
            continue;
        if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, QFile::encodeName(target).constData(), RENAME_NOREPLACE)
            == 0)
            return target;
        if (errno == EINVAL || errno == ENOSYS) {
            // A file system without the flag: a link fails on a taken name.
            if (::link(source.constData(), QFile::encodeName(target).constData()) == 0) {
                ::unlink(source.constData());
                return target;
            }
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

QString DownloadFolder::landAndTidy(const QString &from, const QString &path, const QString &name)
{
    const QString landed = land(from, name.isEmpty() ? path : QFileInfo(path).dir().filePath(name));
    if (!landed.isEmpty())
        removePartial(path); // the reservation
    return landed;
}

void DownloadFolder::removePartial(const QString &path)
{
    if (path.isEmpty())
        return; // not ".part" in the working directory
    QFile::remove(reservedPath(path));
    QFile::remove(enginePartialPath(path));
}

bool DownloadFolder::isWritable(const QString &directory)
{
    // access(2) underneath: it knows read-only mounts and ACLs too.
    const QFileInfo info(directory);
    return info.isDir() && info.isWritable();
}
