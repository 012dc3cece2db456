#include "DownloadEntry.h"

#include <iterator>

QString DownloadEntry::bytesText(qint64 bytes)
{
    bytes = qMax<qint64>(0, bytes);
    if (bytes < 1024)
        return QStringLiteral("%1 字节").arg(bytes);
    // As the site writes sizes ("1.5 MB"): one decimal, left out when it is 0,
    // and a value that would round to 1024 is 1 of the next unit.
    static constexpr const char *Units[] = {"KB", "MB", "GB"};
    double unit = 1024;
    for (std::size_t i = 0;; ++i, unit *= 1024) {
        const qint64 tenths = qRound64(double(bytes) / unit * 10);
        if (tenths >= 10240 && i + 1 < std::size(Units))
            continue;
        const QString number
            = tenths % 10 ? QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10) : QString::number(tenths / 10);
        return number + QLatin1Char(' ') + QLatin1String(Units[i]);
    }
}

DownloadEntry::Actions DownloadEntry::actions() const
{
    switch (state) {
    case State::Opening:
        return NoAction;
    case State::Waiting:
    case State::Running:
        return Pause | Cancel;
    case State::Paused:
    case State::Interrupted:
        return Resume | (fromEarlierRun ? Delete : Cancel);
    case State::Failed:
    case State::Cancelled:
        return Retry;
    case State::Finished:
        return Open | OpenFolder;
    case State::AlreadyThere:
        return OpenExisting | DownloadAnyway | Cancel;
    case State::NothingCame:
        return OpenPage;
    }
    return NoAction;
}

QString DownloadEntry::actionText(Action action)
{
    switch (action) {
    case Pause:
        return QStringLiteral("暂停");
    case Resume:
        return QStringLiteral("继续");
    case Cancel:
        return QStringLiteral("取消");
    case Retry:
        return QStringLiteral("重试");
    case Open:
        return QStringLiteral("打开");
    case OpenFolder:
        return QStringLiteral("打开所在文件夹");
    case OpenExisting:
        return QStringLiteral("打开已有文件");
    case DownloadAnyway:
        return QStringLiteral("仍然下载");
    case OpenPage:
        return QStringLiteral("在浏览器中打开");
    case Delete:
        return QStringLiteral("删除");
    case NoAction:
        break;
    }
    return {};
}

QString DownloadEntry::stateText(State state)
{
    switch (state) {
    case State::Opening:
        return QStringLiteral("正在打开文件页…");
    case State::Waiting:
        return QStringLiteral("等待中");
    case State::Running:
        return QStringLiteral("正在下载");
    case State::Paused:
        return QStringLiteral("已暂停");
    case State::Interrupted:
        return QStringLiteral("已中断");
    case State::Failed:
        return QStringLiteral("失败");
    case State::Finished:
        return QStringLiteral("已完成");
    case State::Cancelled:
        return QStringLiteral("已取消");
    case State::AlreadyThere:
        return QStringLiteral("文件夹里已有此文件");
    case State::NothingCame:
        return QStringLiteral("未能开始下载");
    }
    return {};
}

QString DownloadEntry::durationText(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    if (seconds < 60)
        return QStringLiteral("%1 秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 小时 %2 分").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

QString DownloadEntry::statusText() const
{
    QString text = stateText(state);
    switch (state) {
    case State::Running:
        if (bytesPerSecond > 0) {
            text += QStringLiteral(" · %1/s").arg(bytesText(bytesPerSecond));
            if (total > 0 && received <= total)
                text += QStringLiteral(" · 剩余 %1")
                            .arg(durationText((total - received + bytesPerSecond - 1) / bytesPerSecond));
        }
        break;
    case State::Interrupted:
    case State::Failed:
    case State::AlreadyThere:
    case State::NothingCame:
        if (!reason.isEmpty())
            text += QStringLiteral("：") + reason;
        break;
    default:
        break;
    }
    return text;
}

QString DownloadEntry::sizeText() const
{
    if (state == State::Opening || state == State::NothingCame)
        return {};
    if (state == State::Finished)
        return bytesText(total > 0 ? total : received);
    // What came is gone, or lies where the reason says: only the file's
    // size is worth telling.
    if (state == State::Cancelled || state == State::Failed)
        return total > 0 ? bytesText(total) : QString();
    if (total > 0)
        return QStringLiteral("%1 / %2").arg(bytesText(received), bytesText(total));
    return bytesText(received);
}

int DownloadEntry::permille() const
{
    if (state == State::Finished)
        return 1000;
    if (total <= 0 || state == State::Cancelled || state == State::Failed)
        return -1;
    return int(qBound(qint64(0), received * 1000 / total, qint64(1000)));
}

bool DownloadEntry::hasEnded() const
{
    switch (state) {
    case State::Finished:
    case State::Failed:
    case State::Cancelled:
    case State::NothingCame:
        return true;
    default:
        return false;
    }
}

bool DownloadEntry::isUnfinished() const
{
    switch (state) {
    case State::Waiting:
    case State::Running:
    case State::Paused:
    case State::Interrupted:
    case State::AlreadyThere:
        return true;
    default:
        return false;
    }
}
