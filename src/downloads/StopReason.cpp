#include "StopReason.h"

#include <QDir>

#include "DownloadEntry.h"
#include "DownloadFolder.h"

namespace StopReason {

Kind classify(int code)
{
    switch (code) {
    case FileNoSpace:
        return Kind::NoSpace;
    case FileAccessDenied:
    case FileFailed:
    case FileNameTooLong:
    case FileTooLarge:
    case FileTransientError:
    case FileTooShort:
    case FileHashMismatch:
        return Kind::Unwritable;
    case FileVirusInfected:
    case FileBlocked:
    case FileSecurityCheckFailed:
        return Kind::Blocked;
    case NetworkFailed:
    case NetworkTimeout:
    case NetworkDisconnected:
    case NetworkServerDown:
    case ServerContentLengthMismatch:
        return Kind::Network;
    case NetworkInvalidRequest:
        return Kind::BadAddress;
    case ServerFailed:
    case ServerNoRange:
    case ServerBadContent:
    case ServerUnauthorized:
    case ServerCertProblem:
    case ServerForbidden:
    case ServerUnreachable:
        return Kind::Server;
    case UserCanceled:
        return Kind::Cancelled;
    default:
        return Kind::Other;
    }
}

QString text(int code, const QString &folder, int httpStatus)
{
    switch (classify(code)) {
    case Kind::NoSpace:
        return QStringLiteral("磁盘空间不足：%1").arg(QDir::toNativeSeparators(folder));
    case Kind::Unwritable:
        return unwritableText(folder);
    case Kind::Blocked:
        return QStringLiteral("文件被系统拦截");
    case Kind::Network:
        return QStringLiteral("网络连接中断");
    case Kind::BadAddress:
        return QStringLiteral("下载地址无效");
    case Kind::Server:
        if (httpStatus <= 0 && code == ServerUnauthorized)
            httpStatus = 401;
        if (httpStatus <= 0 && code == ServerForbidden)
            httpStatus = 403;
        if (httpStatus > 0)
            return QStringLiteral("服务器拒绝了下载（HTTP %1）").arg(httpStatus);
        if (code == ServerCertProblem)
            return QStringLiteral("服务器证书有问题");
        return QStringLiteral("服务器拒绝了下载");
    case Kind::Cancelled:
        return QStringLiteral("已取消");
    case Kind::Other:
        break;
    }
    return QStringLiteral("下载中断");
}

QString noSpaceText(qint64 total, const QString &folder, qint64 freeBytes)
{
    const QString size
        = total > 0 ? QStringLiteral("文件有 %1").arg(DownloadEntry::bytesText(total)) : QStringLiteral("文件大小未知");
    return QStringLiteral("磁盘空间不足：%1，%2 只剩 %3（需保留 %4）")
        .arg(size, QDir::toNativeSeparators(folder), DownloadEntry::bytesText(freeBytes),
             DownloadEntry::bytesText(DownloadFolder::SpareBytes));
}

QString unwritableText(const QString &folder)
{
    return QStringLiteral("无法写入下载文件夹：%1").arg(QDir::toNativeSeparators(folder));
}

QString notMovedText(const QString &folder, const QString &kept)
{
    return QStringLiteral("%1，数据保留在 %2").arg(unwritableText(folder), QDir::toNativeSeparators(kept));
}

QString notTheFileText()
{
    return QStringLiteral("服务器返回的是网页，不是原来的文件");
}

QString otherLengthText(qint64 was, qint64 now)
{
    return QStringLiteral("服务器返回的文件大小不同（原为 %1，现为 %2）")
        .arg(DownloadEntry::bytesText(was), DownloadEntry::bytesText(now));
}

QString changedText()
{
    return QStringLiteral("服务器上的文件已更改");
}

bool restartsFromPage(Fetch outcome)
{
    return outcome == Fetch::Changed || outcome == Fetch::NoRanges || outcome == Fetch::Expired;
}

QString fetchText(Fetch outcome, const QString &folder, int httpStatus)
{
    QString why;
    switch (outcome) {
    case Fetch::Complete:
        return {};
    case Fetch::Broken:
        return text(NetworkFailed, folder);
    case Fetch::Refused:
        return text(ServerFailed, folder, httpStatus);
    case Fetch::WriteError:
        return unwritableText(folder);
    case Fetch::Changed:
        why = changedText();
        break;
    case Fetch::NoRanges:
        why = QStringLiteral("服务器不支持断点续传");
        break;
    case Fetch::Expired:
        why = QStringLiteral("下载链接已失效（HTTP %1）").arg(httpStatus);
        break;
    }
    return why + QStringLiteral("，继续将从文件页重新下载");
}

QString engineGaveUpText()
{
    return QStringLiteral("下载中断");
}

QString earlierRunText()
{
    return QStringLiteral("上次退出时未完成");
}

QString fromItsAddressText()
{
    return QStringLiteral("从头重新下载");
}

QString fromItsPageText()
{
    return QStringLiteral("正在从文件页重新下载");
}

QString downloadingAlreadyText()
{
    return QStringLiteral("这个文件已在下载");
}

} // namespace StopReason
