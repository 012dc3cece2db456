#include "ResultPages.h"

namespace ResultPages {

QString entry(const QString &id, const QString &title, const QString &size, int points)
{
    return QStringLiteral("<DIV class=\"item\"><DIV class=\"t\"><A href=\"/f/%1.html\" target=\"_blank\">%2</A></DIV>"
                          "<DIV class=\"m\">%3大小:%4|下载:12</DIV></DIV>\n")
        .arg(id, title, points ? QStringLiteral("<SPAN class=\"pts\">积分:%1</SPAN> ").arg(points) : QString(), size);
}

QString page(const QString &entries, bool previous, bool next)
{
    QString links;
    if (previous)
        links += QStringLiteral("<A href=\"/search.php?key=x&amp;page=1\">上一页</A>");
    if (next)
        links += QStringLiteral("<A href=\"/search.php?key=x&amp;page=3\">下一页</A>");
    // One pass: a "%" in the entries stays as it is.
    return QStringLiteral("  <DIV class=\"pager\">%1</DIV><DIV class=\"list\">%2</DIV><DIV class=\"pager\">%1</DIV>\n ")
        .arg(links, entries);
}

} // namespace ResultPages
