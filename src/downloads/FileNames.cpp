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
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // A volume's or an archive's inner extension too: ".part1.rar", ".tar.gz".
    if (const qsizetype inner = dot > 0 ? name.lastIndexOf(QLatin1Char('.'), dot - 1) : -1; inner > 0) {
        const QStringView middle = QStringView(name).mid(inner + 1, dot - inner - 1);
        if (!middle.isEmpty() && middle.size() <= 8 && std::all_of(middle.begin(), middle.end(), [](QChar c) {
                return c.unicode() < 0x80 && c.isLetterOrNumber();
            }))
            dot = inner;
    }
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
    // The labels the web reads as GBK (a page or a header that says gb2312
    // means GBK, and uses its characters).
    static const QStringList gbk {QStringLiteral("chinese"),         QStringLiteral("csgb2312"),
                                  QStringLiteral("csiso58gb231280"), QStringLiteral("gb2312"),
                                  QStringLiteral("gb_2312"),         QStringLiteral("gb_2312-80"),
                                  QStringLiteral("iso-ir-58"),       QStringLiteral("x-gbk")};
    const QString label = gbk.contains(charset.trimmed().toLower()) ? QStringLiteral("GBK") : charset;
    QStringDecoder decoder(label.toLatin1().constData());
    if (!decoder.isValid())
        return std::nullopt;
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() || text.contains(QChar::ReplacementCharacter) || text.contains(QChar(0x1A)))
        return std::nullopt;
    return text;
}

bool isAscii(QStringView s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Bytes that are UTF-8 are read so, unless the site's encoding reads them too
// and UTF-8 makes characters of two bytes of them (Latin, Greek, Hebrew): the
// GBK of 知识 is UTF-8 too. A Chinese name in UTF-8 takes three bytes a
// character.
bool readsAsUtf8(const QByteArray &bytes, const QString &charset)
{
    if (!isUtf8(bytes))
        return false;
    const QString text = QString::fromUtf8(bytes);
    const bool twoBytes
        = std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x80 && c.unicode() < 0x800; });
    return !twoBytes || !decodeIn(bytes, charset);
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if ((u | 0x20) >= u'a' && (u | 0x20) <= u'f')
        return (u | 0x20) - u'a' + 10;
    return -1;
}

// The byte of the two hex digits at text[at], -1 when there are none.
int hexByte(QStringView text, qsizetype at)
{
    if (at + 1 >= text.size())
        return -1;
    const int high = hexDigit(text[at]);
    const int low = hexDigit(text[at + 1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// ASCII text with its %XX escapes as bytes; a "%" without two hex digits
// stays.
QByteArray percentDecoded(QStringView text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int byte = text[i] == u'%' ? hexByte(text, i + 1) : -1;
        out += char(byte < 0 ? text[i].unicode() : byte);
        if (byte >= 0)
            i += 2;
    }
    return out;
}

bool isLws(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimmedLws(QStringView s)
{
    while (!s.isEmpty() && isLws(s.front()))
        s = s.mid(1);
    while (!s.isEmpty() && isLws(s.back()))
        s.chop(1);
    return s;
}

bool isToken(QStringView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) {
        return c.unicode() > 0x20 && c.unicode() < 0x7F && !QStringView(u"()<>@,;:\\\"/[]?={}").contains(c);
    });
}

// The parameters after the disposition type (all of the value when it does
// not start with one), split at the semicolons outside quotes, where a
// backslash escapes the next character; empty ones dropped.
QList<QStringView> parameterTexts(QStringView value)
{
    const qsizetype typeEnd = value.indexOf(u';') < 0 ? value.size() : value.indexOf(u';');
    const QStringView rest = isToken(trimmedLws(value.left(typeEnd))) ? value.mid(typeEnd) : value;
    QList<QStringView> out;
    qsizetype start = 0;
    bool quoted = false;
    for (qsizetype i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && quoted) {
            if (rest[i] == u'\\' && i + 1 < rest.size())
                ++i;
            else if (rest[i] == u'"')
                quoted = false;
            continue;
        }
        if (i < rest.size() && rest[i] != u';') {
            quoted = rest[i] == u'"';
            continue;
        }
        if (const QStringView text = trimmedLws(rest.mid(start, i - start)); !text.isEmpty())
            out.append(text);
        start = i + 1;
    }
    return out;
}

struct Parameter
{
    QStringView name;
    QStringView raw; // as written, quotes and all
    QString value;
};

// name=value, a quoted value unquoted (a backslash takes the next character
// as it is; without its closing quote the rest stays as written). Nothing
// when it is malformed, which ends the header's parameters.
std::optional<Parameter> parameter(QStringView text)
{
    const qsizetype equals = text.indexOf(u'=');
    if (equals <= 0)
        return std::nullopt;
    Parameter p {trimmedLws(text.left(equals)), trimmedLws(text.mid(equals + 1)), {}};
    if (p.name.contains(u'"') || p.raw.isEmpty())
        return std::nullopt;
    if (p.raw.front() != u'"' || p.raw.size() == 1 || p.raw.back() != u'"') {
        p.value = p.raw.mid(p.raw.front() == u'"' ? 1 : 0).toString();
        return p;
    }
    const QStringView inner = p.raw.mid(1, p.raw.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner[i] == u'\\' && ++i == inner.size())
            break;
        p.value += inner[i];
    }
    return p;
}

// The bytes of RFC 2047 "Q" text: "_" a space, "=XX" a byte, other printable
// ASCII itself.
std::optional<QByteArray> qDecoded(QStringView text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const int byte = c == u'=' ? hexByte(text, i + 1) : c == u'_' ? ' ' : c > 0x20 && c < 0x7F ? c : -1;
        if (byte < 0)
            return std::nullopt;
        out += char(byte);
        if (c == u'=')
            i += 2;
    }
    return out;
}

// An RFC 2047 word, =?charset?B|Q?text?= (in any charset Qt knows). isWord
// says whether it is one; a broken one gives nothing, which names nothing.
std::optional<QString> encodedWord(QStringView word, bool &isWord)
{
    const QList<QStringView> parts = word.split(u'?', Qt::SkipEmptyParts);
    isWord = (parts.isEmpty() || parts[0] == u"=")
             && (parts.size() < 3 || (parts[2].size() == 1 && QStringView(u"bBqQ").contains(parts[2][0])));
    if (!isWord || parts.size() > 5 || (parts.size() == 5 && parts[4] != u"=") || !word.endsWith(u'='))
        return std::nullopt;
    if (parts.size() < 4)
        return QString();
    std::optional<QByteArray> bytes;
    if (parts[2].compare(u"b", Qt::CaseInsensitive) == 0) {
        auto base64 = QByteArray::fromBase64Encoding(parts[3].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (base64)
            bytes = *base64;
    } else {
        bytes = qDecoded(parts[3]);
    }
    if (!bytes || bytes->isEmpty())
        return bytes ? std::optional<QString>(QString()) : std::nullopt;
    return decodeIn(*bytes, parts[1].toString());
}

// A word of a filename= value, as browsers read it: text beyond ASCII as the
// header was read; an RFC 2047 word; percent-escapes as UTF-8 where they are,
// else in the encoding of the site's pages, as its visitors' browsers read
// them in its code page (the engine names nothing then).
std::optional<QString> decodedWord(QStringView word, const QString &charset, bool &isWord)
{
    isWord = false;
    if (!isAscii(word))
        return word.toString();
    if (auto text = encodedWord(word, isWord); text || isWord)
        return text;
    const QByteArray bytes = percentDecoded(word);
    if (readsAsUtf8(bytes, charset))
        return QString::fromUtf8(bytes);
    return decodeIn(bytes, charset);
}

// A filename= value, word by word: each white-space character a space, but
// none after an RFC 2047 word. Nothing when a word does not decode.
std::optional<QString> filenameValue(QStringView value, const QString &charset)
{
    QString out;
    bool afterWord = true;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= value.size(); ++i) {
        const bool space = i < value.size() && QStringView(u" \t\r\n").contains(value[i]);
        if (i < value.size() && !space)
            continue;
        if (i > start) {
            const std::optional<QString> word = decodedWord(value.mid(start, i - start), charset, afterWord);
            if (!word)
                return std::nullopt;
            out += *word;
        }
        if (space && !afterWord)
            out += u' ';
        start = i + 1;
    }
    return out;
}

// charset'language'percent-encoded bytes (RFC 5987), unquoted and ASCII;
// nothing when it does not decode.
QString extendedValue(QStringView raw)
{
    const qsizetype first = raw.indexOf(u'\'');
    const qsizetype second = raw.indexOf(u'\'', first + 1);
    const QStringView value = raw.mid(second + 1);
    if (raw.contains(u'"') || raw.count(u'\'') != 2 || first == 0 || value.isEmpty() || !isAscii(value))
        return QString();
    const std::optional<QString> text = decodeIn(percentDecoded(value), raw.left(first).toString());
    return text ? text->normalized(QString::NormalizationForm_C) : QString();
}

} // namespace

namespace FileNames {

QString dispositionName(const QByteArray &header, const QString &charset)
{
    // Read whole first, so that a trail byte is never taken for a quote, a
    // separator or a backslash.
    QString value;
    if (readsAsUtf8(header, charset))
        value = QString::fromUtf8(header);
    else if (const auto text = decodeIn(header, charset))
        value = *text;
    else
        value = QString::fromLatin1(header);
    QString plain;
    QString extended;
    for (const QStringView text : parameterTexts(value)) {
        const std::optional<Parameter> p = parameter(text);
        if (!p)
            break;
        if (plain.isEmpty() && p->name.compare(u"filename", Qt::CaseInsensitive) == 0)
            plain = filenameValue(p->value, charset).value_or(QString());
        else if (extended.isEmpty() && p->name.compare(u"filename*", Qt::CaseInsensitive) == 0)
            extended = extendedValue(p->raw);
    }
    return extended.isEmpty() ? plain : extended;
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
    // A name only in the address, which the engine read as UTF-8 or not at all.
    const bool fromAddress = engineName.isEmpty() || engineName.contains(QChar::ReplacementCharacter)
                             || engineName == QString::fromUtf8(addressName);
    if (fromAddress && !addressName.isEmpty() && !readsAsUtf8(addressName, charset)) {
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
