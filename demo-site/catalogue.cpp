#include "catalogue.h"

#include <charconv>
#include <fstream>
#include <unordered_set>

namespace demosite {

namespace {

std::vector<std::string> splitTabs(const std::string &line)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return parts;
}

template<typename T> bool parseNumber(const std::string &s, T &out)
{
    const char *end = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(s.data(), end, out);
    return ec == std::errc() && ptr == end && !s.empty();
}

bool isAlnumId(const std::string &s)
{
    if (s.empty() || s.size() > 32)
        return false;
    for (char c : s) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

bool isStartWay(std::string_view way)
{
    for (const std::string_view known :
         {"link", "open", "blank", "post", "wait", "confirm", "path", "frame", "mirror", "pct", "word"}) {
        if (way == known)
            return true;
    }
    return false;
}

bool Catalogue::load(const std::string &path, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open catalogue " + path;
        return false;
    }
    std::vector<Entry> entries;
    std::unordered_set<std::string> seen;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        const auto where = path + ":" + std::to_string(lineNo) + ": ";
        const auto parts = splitTabs(line);
        if (parts.size() != 5 && parts.size() != 6) {
            error = where + "expected 5 or 6 tab-separated fields";
            return false;
        }
        Entry e {parts[0], parts[1], parts[2], 0, 0};
        if (parts.size() == 6)
            e.start = parts[5];
        if (!isStartWay(e.start)) {
            error = where + "unknown way to start a download: " + e.start;
            return false;
        }
        if (!isAlnumId(e.id)) {
            error = where + "id must be alphanumeric";
            return false;
        }
        if (!seen.insert(e.id).second) {
            error = where + "duplicate id " + e.id;
            return false;
        }
        if (e.title.empty() || !isValidUtf8(e.title) || !isValidUtf8(e.sizeText)) {
            error = where + "title and size must be non-empty UTF-8";
            return false;
        }
        if (!parseNumber(parts[3], e.points) || e.points < 0) {
            error = where + "bad points";
            return false;
        }
        if (!parseNumber(parts[4], e.bytes) || e.bytes == 0) {
            error = where + "bad byte count";
            return false;
        }
        entries.push_back(std::move(e));
    }
    m_entries = std::move(entries);
    return true;
}

const Entry *Catalogue::find(std::string_view id) const
{
    for (const auto &e : m_entries) {
        if (e.id == id)
            return &e;
    }
    return nullptr;
}

std::vector<const Entry *> Catalogue::search(std::string_view key) const
{
    std::vector<const Entry *> hits;
    for (const auto &e : m_entries) {
        if (key.empty() || findNoCase(e.title, key) != std::string_view::npos)
            hits.push_back(&e);
    }
    return hits;
}

bool isValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        std::uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size())
            return false;
        for (int k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t findNoCase(std::string_view hay, std::string_view needle, std::size_t from)
{
    // Byte-wise is safe for UTF-8: a valid needle can only match at a
    // character boundary of a valid haystack.
    if (needle.empty() || needle.size() > hay.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && asciiLower(hay[i + k]) == asciiLower(needle[k]))
            ++k;
        if (k == needle.size())
            return i;
    }
    return std::string_view::npos;
}

std::uint32_t fnv1a(std::string_view s)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

namespace {
std::uint32_t mixWord(std::uint32_t seed, std::uint64_t block)
{
    std::uint32_t x
        = seed ^ static_cast<std::uint32_t>(block * 0x9E3779B97F4A7C15ull >> 32) ^ static_cast<std::uint32_t>(block);
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    x *= 0xC2B2AE35u;
    x ^= x >> 16;
    return x;
}
} // namespace

std::uint8_t streamByte(std::uint32_t seed, std::uint64_t index)
{
    return static_cast<std::uint8_t>(mixWord(seed, index / 4) >> (8 * (index % 4)));
}

void fillStream(std::uint32_t seed, std::uint64_t offset, char *out, std::size_t len)
{
    for (std::size_t i = 0; i < len; ++i)
        out[i] = static_cast<char>(streamByte(seed, offset + i));
}

std::string downloadName(const Entry &e)
{
    std::string name;
    name.reserve(e.title.size() + 4);
    for (char c : e.title) {
        switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            name += '_';
            break;
        default:
            name += (static_cast<unsigned char>(c) < 0x20) ? '_' : c;
        }
    }
    return name + ".zip";
}

} // namespace demosite
