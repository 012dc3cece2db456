#include "TextOps.h"

#include <cmath>

namespace TextOps {

qsizetype FindText(QStringView text, QStringView needle, qsizetype from)
{
    Q_ASSERT(from >= 1);
    if (from < 1 || from > text.size())
        return 0;
    return text.indexOf(needle, from - 1) + 1;
}

std::optional<QString> SubText(QStringView text, qsizetype start, qsizetype count)
{
    if (start < 1 || count < 0)
        return std::nullopt;
    if (start > text.size())
        return QString();
    return text.mid(start - 1, count).toString();
}

QString Trim(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString HtmToTxt(QString text, const std::function<void()> &pump)
{
    for (;;) {
        const qsizetype open = FindText(text, u"<", 1);
        if (open == 0)
            return text;
        // Searching from the "<" (not from the start) keeps a stray ">" in front
        // of it as text; from the start, the tag would have no length and the
        // loop would never end.
        const qsizetype close = FindText(text, u">", open);
        if (close == 0)
            return text;
        const QString tag = text.mid(open - 1, close - open + 1);
        text.remove(tag, Qt::CaseSensitive);
        if (pump)
            pump();
    }
}

std::optional<double> readVersion(const QString &pageText)
{
    const QString head = pageText.left(4).trimmed();
    if (head.isEmpty())
        return std::nullopt;
    bool ok = false;
    // QString::toDouble always reads the C locale's number format.
    const double value = head.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace TextOps
