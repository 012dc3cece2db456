#include "DownloadFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

QString DownloadFolder::path() const
{
    if (!m_path.isEmpty())
        return m_path;
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (dir.isEmpty())
        dir = QDir::homePath();
    return dir;
}

qint64 DownloadFolder::room(const QString &directory) const
{
    const qint64 free = m_freeSpace ? m_freeSpace(directory) : QStorageInfo(directory).bytesAvailable();
    return free - SpareBytes;
}

QString DownloadFolder::reserveFile(const QString &directory, const QString &name)
{
    // The number goes before the extension; ".tar.gz" counts as one.
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && name.left(dot).endsWith(QLatin1String(".tar"), Qt::CaseInsensitive))
        dot -= 4;
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    const QDir dir(directory);
    for (int n = 0; n < 100000; ++n) {
        const QString path = dir.filePath(n == 0 ? name : QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(ext));
        if (QFileInfo::exists(partialPath(path)))
            continue;
        // Created exclusively, so another program (or another instance of
        // this one) saving the same name can never write over it.
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!QFileInfo::exists(path))
            return {};
    }
    return {};
}

QString DownloadFolder::partialPath(const QString &path)
{
    return path + QStringLiteral(".download");
}

void DownloadFolder::removePartial(const QString &path)
{
    // The name itself was reserved empty.
    QFile::remove(path);
    QFile::remove(partialPath(path));
}

bool DownloadFolder::isWritable(const QString &directory)
{
    // access(2) underneath: it knows read-only mounts and ACLs too.
    const QFileInfo info(directory);
    return info.isDir() && info.isWritable();
}
