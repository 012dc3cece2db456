#pragma once

#include <functional>
#include <optional>

#include <QString>

// Text operations over page text. Positions are 1-based, as the scraper's
// arithmetic is written; 0 means "not found".
namespace TextOps {

// Position of the first occurrence of the needle at or after `from`; 0 when
// there is none or `from` lies past the end. `from` must be at least 1.
qsizetype FindText(QStringView text, QStringView needle, qsizetype from);

// `count` characters from position `start` (fewer where the text ends; empty
// past the end). Nothing when start < 1 or count < 0.
std::optional<QString> SubText(QStringView text, qsizetype start, qsizetype count);

// The text without leading and trailing spaces (U+0020 only; other white
// space stays).
QString Trim(const QString &text);

// Strips tags from a title fragment: each distinct tag text is removed
// everywhere, the first "<" to the first ">" after it at a time. A ">" before
// any "<" stays as text. `pump` runs once per pass (the window lets pending
// events run there). Text with very many distinct tags is stripped in one
// linear pass instead, so the time stays bounded.
QString HtmToTxt(QString text, const std::function<void()> &pump = {});

// A result title as the row shows it: the basic character references
// (&amp; &lt; &gt; &quot; &#39; &nbsp;) decoded once, control and format
// characters dropped, each run of white space (line breaks too) one space.
QString captionText(QStringView text);

// The latest version as read from the advertisement page: the first four
// characters of its text (the whole text when shorter), spaces around them
// allowed, read with "." as the decimal point whatever the locale. Nothing
// when they are not a number.
std::optional<double> readVersion(const QString &pageText);

// A form field's value as a browser submits it from a page in `charset`
// (document.characterSet, e.g. "GBK", "Big5", "UTF-8"): in that encoding,
// a character the encoding cannot hold as "&#N;" (N its code point), and
// every byte but the unreserved ASCII ones percent-encoded. An encoding
// that is not known is taken as UTF-8.
QByteArray formValue(const QString &value, const QString &charset);

} // namespace TextOps
