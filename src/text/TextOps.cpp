#include "TextOps.h"

#include <cmath>

#include <QList>
#include <QStringEncoder>

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

namespace {

// Characters a tag-by-tag strip may scan before it gives way to one linear
// pass. Real titles need a few thousand; a hostile page with a megabyte of
// distinct tags would otherwise cost minutes.
constexpr qsizetype StripBudget = qsizetype(1) << 24;

// Removes every tag (a "<" up to the next ">") in one left-to-right pass; a
// ">" with no "<" before it and a "<" with no ">" after it stay as text.
QString stripTagsLinearly(QStringView text)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(u'<', i);
        const qsizetype close = open < 0 ? -1 : text.indexOf(u'>', open);
        if (close < 0) {
            out += text.mid(i);
            break;
        }
        out += text.mid(i, open - i);
        i = close + 1;
    }
    return out;
}

} // namespace

QString HtmToTxt(QString text, const std::function<void()> &pump)
{
    qsizetype work = 0;
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
        // Nothing before the first "<" can change any more.
        work += text.size() - open + 1;
        if (work > StripBudget)
            return text.left(open - 1) + stripTagsLinearly(QStringView(text).mid(open - 1));
        const QString tag = text.mid(open - 1, close - open + 1);
        text.remove(tag, Qt::CaseSensitive);
        if (pump)
            pump();
    }
}

QString captionText(QStringView text)
{
    static constexpr std::pair<QLatin1String, char16_t> references[] = {
        {QLatin1String("&amp;"), u'&'},  {QLatin1String("&lt;"), u'<'},   {QLatin1String("&gt;"), u'>'},
        {QLatin1String("&quot;"), u'"'}, {QLatin1String("&#39;"), u'\''}, {QLatin1String("&nbsp;"), u'\u00a0'},
    };
    QString out;
    out.reserve(text.size());
    bool space = false;
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text[i].unicode();
        qsizetype length = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            length = 2;
        } else if (c == u'&') {
            for (const auto &[name, decoded] : references) {
                if (text.mid(i).startsWith(name)) {
                    c = decoded;
                    length = name.size();
                    break;
                }
            }
        }
        i += length;
        if (QChar::isSpace(c)) {
            space = true;
            continue;
        }
        const auto category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format || QChar::isSurrogate(c))
            continue;
        if (space)
            out += QLatin1Char(' ');
        space = false;
        out += QStringView(QChar::fromUcs4(c));
    }
    if (space)
        out += QLatin1Char(' ');
    return out;
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

QByteArray formValue(const QString &value, const QString &charset)
{
    const QByteArray known = charset.toLatin1();
    const QByteArray name = QStringEncoder(known.constData()).isValid() ? known : QByteArray("UTF-8");
    QByteArray bytes;
    // One code point at a time, each with an encoder of its own (one keeps
    // its error), so that one the encoding lacks is known as such and written
    // as a reference.
    for (const char32_t c : value.toUcs4()) {
        QStringEncoder encoder(name.constData());
        QByteArray encoded = encoder.encode(QString::fromUcs4(&c, 1));
        if (encoder.hasError())
            encoded = "&#" + QByteArray::number(quint32(c)) + ';';
        bytes += encoded;
    }
    return bytes.toPercentEncoding();
}

} // namespace TextOps
