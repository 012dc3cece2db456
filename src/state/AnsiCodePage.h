#pragma once

#include <optional>

#include <QChar>
#include <QString>

// The program's stand-in for the system's ANSI code page: GBK (code page 936).
namespace AnsiCodePage {

// The character's code: its own value below 128, 128 to 255 for other
// single-byte characters, and the two bytes of a double-byte character as one
// 16-bit value (lead byte high, so negative when the lead byte is 0x80 or more).
// Nothing when the code page has no such character.
std::optional<qint16> code(QChar ch);

// The character for a code as `code` gives it; nothing when the bytes are not
// a character of the code page.
std::optional<QChar> character(qint16 code);

} // namespace AnsiCodePage
