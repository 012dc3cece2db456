#include "Downloads.h"

#include <algorithm>

bool Downloads::hasUnfinished() const
{
    const QList<DownloadEntry> all = entries();
    return std::any_of(all.cbegin(), all.cend(), [](const DownloadEntry &e) { return e.isUnfinished(); });
}

QString Downloads::unfinishedText() const
{
    int count = 0, choosing = 0;
    qint64 received = 0;
    qint64 total = 0;
    for (const DownloadEntry &e : entries()) {
        // A file of its name and size is in the folder already: what is
        // left is the user's choice.
        if (e.state == DownloadEntry::State::AlreadyThere) {
            ++choosing;
            continue;
        }
        if (!e.isUnfinished())
            continue;
        ++count;
        received += e.received;
        // One unknown size makes the sum unknown.
        total = (total < 0 || e.total < 0) ? -1 : total + e.total;
    }
    const QString waiting
        = choosing ? QStringLiteral("%1 个下载等待选择（%2）")
                         .arg(QString::number(choosing), DownloadEntry::stateText(DownloadEntry::State::AlreadyThere))
                   : QString();
    if (count == 0)
        return waiting.isEmpty() ? QString() : QStringLiteral("有 %1。").arg(waiting);
    const QString got = DownloadEntry::bytesText(received);
    const QString so = total < 0 ? QStringLiteral("已下载 %1").arg(got)
                                 : QStringLiteral("已下载 %1，共 %2").arg(got, DownloadEntry::bytesText(total));
    return QStringLiteral("有 %1 个下载尚未完成（%2）%3。")
        .arg(QString::number(count), so, waiting.isEmpty() ? QString() : u'，' + waiting);
}
