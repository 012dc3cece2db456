#include "encoding.h"

#include <cerrno>
#include <iconv.h>
#include <vector>

namespace demosite {

namespace {

// One conversion; `lossy` lets a character the target lacks become "?".
std::optional<std::string> convert(const char *to, const char *from, std::string_view in, bool lossy)
{
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    std::vector<char> buf(4096);
    char *inPtr = const_cast<char *>(in.data());
    size_t inLeft = in.size();
    bool ok = true;
    while (inLeft > 0) {
        char *outPtr = buf.data();
        size_t outLeft = buf.size();
        const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf.data(), buf.size() - outLeft);
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        if (!lossy || errno != EILSEQ) {
            ok = false;
            break;
        }
        // Skip one UTF-8 character of the input.
        out += '?';
        do {
            ++inPtr;
            --inLeft;
        } while (inLeft > 0 && (static_cast<unsigned char>(*inPtr) & 0xC0) == 0x80);
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return out;
}

} // namespace

std::string toGbk(std::string_view utf8)
{
    return convert("GBK", "UTF-8", utf8, true).value_or(std::string());
}

std::optional<std::string> fromGbk(std::string_view gbk)
{
    return convert("UTF-8", "GBK", gbk, false);
}

} // namespace demosite
