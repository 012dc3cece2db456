#include "AnsiCodePage.h"

#include <array>
#include <cstring>
#include <iconv.h>

namespace {

// One iconv conversion of a few bytes. The descriptors are opened once per
// direction and reset before each use; everything runs on the UI thread.
iconv_t descriptor(const char *to, const char * /* from: the other one of the two */)
{
    if (std::strcmp(to, "GBK") == 0) {
        static const iconv_t toGbk = iconv_open("GBK", "UTF-16LE");
        return toGbk;
    }
    static const iconv_t fromGbk = iconv_open("UTF-16LE", "GBK");
    return fromGbk;
}

std::optional<std::string> convert(const char *to, const char *from, const char *in, size_t inLength)
{
    iconv_t cd = descriptor(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::array<char, 16> out {};
    char *inPtr = const_cast<char *>(in);
    char *outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &inPtr, &inLength, &outPtr, &outLeft);
    const size_t flushed = rc == static_cast<size_t>(-1) ? rc : iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    if (rc == static_cast<size_t>(-1) || flushed == static_cast<size_t>(-1) || inLength != 0)
        return std::nullopt;
    return std::string(out.data(), out.size() - outLeft);
}

} // namespace

namespace AnsiCodePage {

std::optional<qint16> code(QChar ch)
{
    if (ch.unicode() < 128)
        return static_cast<qint16>(ch.unicode());
    const char16_t unit = ch.unicode();
    const auto bytes = convert("GBK", "UTF-16LE", reinterpret_cast<const char *>(&unit), sizeof unit);
    if (!bytes)
        return std::nullopt;
    if (bytes->size() == 1)
        return static_cast<qint16>(static_cast<unsigned char>((*bytes)[0]));
    if (bytes->size() == 2) {
        const auto lead = static_cast<unsigned char>((*bytes)[0]);
        const auto trail = static_cast<unsigned char>((*bytes)[1]);
        return static_cast<qint16>(static_cast<quint16>((lead << 8) | trail));
    }
    return std::nullopt;
}

std::optional<QChar> character(qint16 code)
{
    if (code >= 0 && code < 128)
        return QChar(static_cast<char16_t>(code));
    const auto value = static_cast<quint16>(code);
    std::array<char, 2> in {};
    size_t length = 1;
    if (value <= 0xFF) {
        in[0] = static_cast<char>(value);
    } else {
        in[0] = static_cast<char>(value >> 8);
        in[1] = static_cast<char>(value & 0xFF);
        length = 2;
    }
    const auto utf16 = convert("UTF-16LE", "GBK", in.data(), length);
    if (!utf16 || utf16->size() != 2)
        return std::nullopt;
    char16_t unit;
    std::memcpy(&unit, utf16->data(), sizeof unit);
    return QChar(unit);
}

} // namespace AnsiCodePage
