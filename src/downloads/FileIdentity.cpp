#include "FileIdentity.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace {

// The regular file at name in the folder dir (AT_EMPTY_PATH: dir itself),
// not followed if a link; invalid when it is none.
FileIdentity identityAt(int dir, const char *name, int flags)
{
    struct statx st
    { };
    if (dir < 0)
        return {};
    if (::statx(dir, name, flags | AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO | STATX_BTIME, &st) != 0) {
        // A sandbox that refuses the newer call (EPERM, as older container
        // profiles answer): no birth time.
        struct stat old
        { };
        if (::fstatat(dir, name, &old, flags | AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(old.st_mode))
            return {};
        return {quint64(old.st_dev), quint64(old.st_ino)};
    }
    if (!S_ISREG(st.stx_mode))
        return {};
    const qint64 born = st.stx_mask & STATX_BTIME ? qint64(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec : 0;
    return {quint64(makedev(st.stx_dev_major, st.stx_dev_minor)), quint64(st.stx_ino), born};
}

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
    FileIdentity identity() const { return m_name.isEmpty() ? FileIdentity {} : identityAt(m_fd, name(), 0); }

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
    const FileIdentity made = identityAt(fd, "", AT_EMPTY_PATH);
    ::close(fd);
    return made;
}

int FileIdentity::openToAppend(const QString &path, FileIdentity &opened)
{
    const InFolder at(path);
    const int fd = at.fd() < 0 ? -1 : ::openat(at.fd(), at.name(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && (opened = identityAt(fd, "", AT_EMPTY_PATH)).isValid())
        return fd;
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
