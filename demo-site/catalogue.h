// Catalogue of the demo resource site and the deterministic file contents
// served for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace demosite {

struct Entry
{
    std::string id;
    std::string title;    // UTF-8, plain text (escaped when rendered)
    std::string sizeText; // display only, e.g. "12.5 MB"
    int points = 0;       // 0 = free
    std::uint64_t bytes = 0;
    // How its file page starts the download when its zero-point table is
    // clicked, in one of the ways such sites did: "link" (the page goes to the
    // download), "open" (window.open, behind a Referer-and-cookie check),
    // "blank" (the table sits in a link to a new window), "post" (a form whose
    // answer is the file), "wait" (a "请稍候" page that goes on after 3 s),
    // "confirm" (after confirm()), "path" (the name only in the address),
    // "mirror" (the same server under another host name, behind a check
    // that the Referer is the site's), "frame" (from the mirror, in a hidden
    // frame made for it);
    // "pct" and "word" go to the download as "link" does, with the name
    // percent-encoded or as an RFC 2047 word in the site's encoding.
    std::string start = "link";
};

// The ways above, for checking a catalogue.
bool isStartWay(std::string_view way);

class Catalogue
{
public:
    // Returns false and fills `error` on an unreadable file or a malformed line;
    // a broken catalogue should stop the server instead of serving half of it.
    bool load(const std::string &path, std::string &error);

    const std::vector<Entry> &entries() const { return m_entries; }
    const Entry *find(std::string_view id) const;
    // Entries whose title contains `key` (ASCII letters compared
    // case-insensitively); an empty key matches everything.
    std::vector<const Entry *> search(std::string_view key) const;

private:
    std::vector<Entry> m_entries;
};

bool isValidUtf8(std::string_view s);
char asciiLower(char c);
// Byte offset of the first ASCII-case-insensitive occurrence of `needle` in
// `hay` at or after `from`, or npos.
std::size_t findNoCase(std::string_view hay, std::string_view needle, std::size_t from = 0);

std::uint32_t fnv1a(std::string_view s);
// Byte `index` of the stream seeded by `seed`. Counter based, so any range of
// a file can be produced without generating what comes before it.
std::uint8_t streamByte(std::uint32_t seed, std::uint64_t index);
void fillStream(std::uint32_t seed, std::uint64_t offset, char *out, std::size_t len);

// Download file name for an entry: title with characters that file systems
// reject replaced by '_', plus an extension.
std::string downloadName(const Entry &e);

} // namespace demosite
