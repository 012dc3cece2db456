#include "FileIdentity.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace {

// A name inside its folder, reached through the folder's descriptor, so that
// the check and the change are on the same folder.
class InFolder
{
public:
    explicit InFolder(const QString &path)
        : m_name(QFile::encodeName(QFileInfo(path).fileName()))
        , m_fd(::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_DIRECTORY | O_PATH | O_CLOEXEC))
    { }
    ~InFolder()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    InFolder(const InFolder &) = delete;
    InFolder &operator=(const InFolder &) = delete;

    int fd() const { return m_fd; }
    const char *name() const { return m_name.constData(); }
    FileIdentity identity() const
    {
        struct stat st
        { };
        if (m_fd < 0 || m_name.isEmpty() || ::fstatat(m_fd, name(), &st, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(st.st_mode))
            return {};
        return {quint64(st.st_dev), quint64(st.st_ino)};
    }

private:
    QByteArray m_name;
    int m_fd = -1;
};

} // namespace

FileIdentity FileIdentity::of(const QString &path)
{
    return InFolder(path).identity();
}

bool FileIdentity::anythingAt(const QString &path)
{
    struct stat st
    { };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

FileIdentity FileIdentity::create(const QString &path)
{
    const InFolder at(path);
    const int fd
        = at.fd() < 0 ? -1 : ::openat(at.fd(), at.name(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return {};
    struct stat st
    { };
    const bool known = ::fstat(fd, &st) == 0;
    ::close(fd);
    return known ? FileIdentity {quint64(st.st_dev), quint64(st.st_ino)} : FileIdentity {};
}

int FileIdentity::openToAppend(const QString &path, FileIdentity &opened)
{
    const InFolder at(path);
    const int fd = at.fd() < 0 ? -1 : ::openat(at.fd(), at.name(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    struct stat st
    { };
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        opened = {quint64(st.st_dev), quint64(st.st_ino)};
        return fd;
    }
    if (fd >= 0)
        ::close(fd);
    return -1;
}

bool FileIdentity::remove(const QString &path) const
{
    const InFolder at(path);
    return isValid() && at.identity() == *this && ::unlinkat(at.fd(), at.name(), 0) == 0;
}

bool FileIdentity::move(const QString &from, const QString &to) const
{
    const InFolder source(from);
    const InFolder target(to);
    if (!isValid() || source.identity() != *this) {
        errno = ENOENT;
        return false;
    }
    if (::renameat2(source.fd(), source.name(), target.fd(), target.name(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a link fails on a taken name.
    if (::linkat(source.fd(), source.name(), target.fd(), target.name(), 0) != 0)
        return false;
    ::unlinkat(source.fd(), source.name(), 0);
    return true;
}

bool FileIdentity::moveOver(const QString &from, const QString &to, const FileIdentity &replaced) const
{
    const InFolder source(from);
    const InFolder target(to);
    if (!isValid() || source.identity() != *this)
        return false;
    const FileIdentity there = target.identity();
    if (there.isValid() ? there != replaced : anythingAt(to))
        return false;
    return ::renameat(source.fd(), source.name(), target.fd(), target.name()) == 0;
}
