#include "SameFile.h"

#include <QDir>
#include <QFileInfo>

SameFile SameFile::beside(const QString &path, const QString &wanted)
{
    const QFileInfo saved(path);
    return SameFile(saved.fileName() != wanted ? saved.dir().filePath(wanted) : QString());
}

SameFile SameFile::kept(const QString &path)
{
    return SameFile(!path.isEmpty() && QFileInfo(path).isFile() ? path : QString());
}

bool SameFile::holds(qint64 size)
{
    if (m_path.isEmpty())
        return false;
    const QFileInfo there(m_path);
    if (there.isFile() && there.size() == size)
        return true;
    m_path.clear();
    return false;
}

QString SameFile::shown() const
{
    return QDir::toNativeSeparators(m_path);
}
