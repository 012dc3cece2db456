#include "FileNames.h"

#include <algorithm>
#include <optional>

#include <QList>
#include <QStringDecoder>

namespace {

// 255 bytes per file name, less the partial file's ".part.download" and room
// for " (n)".
constexpr qsizetype MaxNameBytes = 255 - 14 - 12;
// An extension longer than this is part of the name, not a type.
constexpr qsizetype MaxExtensionBytes = 32;

qsizetype utf8Length(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// How many bytes s takes in UTF-8, as the file system counts it.
qsizetype utf8Length(QStringView s)
{
    qsizetype n = 0;
    for (const char32_t c : s.toUcs4())
        n += utf8Length(c);
    return n;
}

// Cuts name to maxBytes of UTF-8 in one pass, keeping a short extension and
// never splitting a character.
QString fitName(const QString &name, qsizetype maxBytes)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QStringView ext;
    if (dot > 0 && utf8Length(QStringView(name).mid(dot)) <= MaxExtensionBytes)
        ext = QStringView(name).mid(dot);
    const QStringView base = QStringView(name).left(name.size() - ext.size());
    qsizetype budget = maxBytes - utf8Length(ext);
    QString out;
    for (qsizetype i = 0; i < base.size();) {
        const char32_t c = base[i].isHighSurrogate() && i + 1 < base.size()
                               ? QChar::surrogateToUcs4(base[i], base[i + 1])
                               : base[i].unicode();
        const qsizetype units = c > 0xffff ? 2 : 1;
        budget -= utf8Length(c);
        if (budget < 0)
            break;
        out += base.mid(i, units);
        i += units;
    }
    out += ext;
    return out;
}

// Control and format characters go: a right-to-left override would show
// "invoice\u202Etxt.desktop" as "invoicepotksed.txt". Only the last path
// component counts, whichever separator the site used.
QString printableLastComponent(const QString &suggested)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < suggested.size(); ++i) {
        if (suggested[i] == QLatin1Char('/') || suggested[i] == QLatin1Char('\\'))
            start = i + 1;
    }
    QString clean;
    clean.reserve(suggested.size() - start);
    for (qsizetype i = start; i < suggested.size(); ++i) {
        const QChar c = suggested[i];
        if (c.isSurrogate()) {
            if (c.isHighSurrogate() && i + 1 < suggested.size() && suggested[i + 1].isLowSurrogate()) {
                const char32_t ucs = QChar::surrogateToUcs4(c, suggested[i + 1]);
                if (QChar::category(ucs) != QChar::Other_Format)
                    clean += QStringView(suggested).mid(i, 2);
                ++i;
            }
            continue; // an unpaired half has no file-system form
        }
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            continue;
        default:
            break;
        }
        clean += QStringLiteral("<>:\"|?*").contains(c) ? QLatin1Char('_') : c;
    }
    return clean.trimmed();
}

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(bytes); // decodes only when it becomes a string
    return !utf8.hasError();
}

// Bytes read in charset; nothing when they are not text of it.
std::optional<QString> decodeIn(const QByteArray &bytes, const QString &charset)
{
    QStringDecoder decoder(charset.toLatin1().constData());
    if (!decoder.isValid())
        return std::nullopt;
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() || text.contains(QChar::ReplacementCharacter) || text.contains(QChar(0x1A)))
        return std::nullopt;
    return text;
}

// The parameters of a header value, "a; name=value; n2=\"quoted\"", with
// lower-case names. In a quoted value only \" and \\ are escapes: other
// backslashes stay, as the servers of such sites never escaped them.
QList<QPair<QString, QString>> parameters(const QString &value)
{
    QList<QPair<QString, QString>> out;
    qsizetype i = 0;
    const qsizetype n = value.size();
    while (i < n) {
        const qsizetype semicolon = value.indexOf(QLatin1Char(';'), i);
        const qsizetype equals = value.indexOf(QLatin1Char('='), i);
        if (equals < 0)
            break;
        if (semicolon >= 0 && semicolon < equals) {
            i = semicolon + 1; // a parameter without a value, such as "attachment"
            continue;
        }
        const QString name = value.mid(i, equals - i).trimmed().toLower();
        i = equals + 1;
        while (i < n && value[i] == QLatin1Char(' '))
            ++i;
        QString text;
        if (i < n && value[i] == QLatin1Char('"')) {
            for (++i; i < n && value[i] != QLatin1Char('"'); ++i) {
                if (value[i] == QLatin1Char('\\') && i + 1 < n
                    && (value[i + 1] == QLatin1Char('"') || value[i + 1] == QLatin1Char('\\')))
                    ++i;
                text += value[i];
            }
            const qsizetype end = value.indexOf(QLatin1Char(';'), i);
            i = end < 0 ? n : end + 1;
        } else {
            const qsizetype end = value.indexOf(QLatin1Char(';'), i);
            text = value.mid(i, (end < 0 ? n : end) - i).trimmed();
            i = end < 0 ? n : end + 1;
        }
        out.append({name, text});
    }
    return out;
}

// charset'language'percent-encoded bytes (RFC 5987); nothing when it does
// not decode.
std::optional<QString> extendedValue(const QString &value)
{
    const qsizetype first = value.indexOf(QLatin1Char('\''));
    const qsizetype second = first < 0 ? -1 : value.indexOf(QLatin1Char('\''), first + 1);
    if (second < 0)
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromPercentEncoding(value.mid(second + 1).toLatin1());
    return decodeIn(bytes, value.left(first));
}

} // namespace

namespace FileNames {

QString dispositionName(const QByteArray &header, const QString &charset)
{
    // Read whole first, so that a trail byte is never taken for a quote, a
    // separator or a backslash.
    QString value;
    if (isUtf8(header))
        value = QString::fromUtf8(header);
    else if (const auto text = decodeIn(header, charset))
        value = *text;
    else
        value = QString::fromLatin1(header);
    QString plain;
    for (const auto &[name, text] : parameters(value)) {
        if (name == QLatin1String("filename*")) {
            if (const auto extended = extendedValue(text); extended && !extended->isEmpty())
                return *extended;
        } else if (name == QLatin1String("filename") && plain.isEmpty()) {
            plain = text;
        }
    }
    return plain;
}

QString siteName(const QString &engineName, const QByteArray &addressName, const QString &charset)
{
    const bool latin1
        = std::all_of(engineName.cbegin(), engineName.cend(), [](QChar c) { return c.unicode() < 0x100; });
    const bool eightBit
        = std::any_of(engineName.cbegin(), engineName.cend(), [](QChar c) { return c.unicode() >= 0x80; });
    if (latin1 && eightBit) {
        const QByteArray raw = engineName.toLatin1();
        if (!isUtf8(raw)) {
            if (const auto name = decodeIn(raw, charset))
                return *name;
        }
    }
    if ((engineName.isEmpty() || engineName.contains(QChar::ReplacementCharacter)) && !isUtf8(addressName)) {
        if (const auto name = decodeIn(addressName, charset))
            return *name;
    }
    return engineName;
}

QString sanitize(const QString &suggested)
{
    QString clean = printableLastComponent(suggested);
    // No hidden ".." tricks and no names that are only dots.
    qsizetype dots = 0;
    while (dots < clean.size() && clean[dots] == QLatin1Char('.'))
        ++dots;
    clean.remove(0, dots);
    qsizetype end = clean.size();
    while (end > 0 && (clean[end - 1] == QLatin1Char('.') || clean[end - 1].isSpace()))
        --end;
    clean.truncate(end);
    if (clean.isEmpty())
        clean = QStringLiteral("download");
    // A desktop would run a saved launcher when it is opened: the name as
    // it is saved, shortened, counts.
    const QString fitted = fitName(clean, MaxNameBytes);
    if (fitted.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
        return fitName(fitted, MaxNameBytes - 4) + QStringLiteral(".txt");
    return fitted;
}

} // namespace FileNames
