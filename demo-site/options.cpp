#include "options.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#ifndef ONDRIX_DEMO_CATALOGUE_DEFAULT
#define ONDRIX_DEMO_CATALOGUE_DEFAULT ""
#endif
#ifndef ONDRIX_DEMO_DATA_RELATIVE
#define ONDRIX_DEMO_DATA_RELATIVE "../share/ondrix-demo-site"
#endif

namespace demosite {

namespace {

constexpr std::uint32_t kMaxFilePageDelay = 60000;
constexpr std::uint32_t kMaxWaitSeconds = 600;

void usage(std::FILE *to)
{
    std::fputs("usage: ondrix-demo-site [--bind ADDR] [--home-bind ADDR] [--site-port N] [--home-port N]\n"
               "                        [--catalogue PATH] [--version TEXT] [--dump-file ID] [--hostile]\n"
               "                        [--encoding utf-8|gbk] [--log FILE] [--rate B] [--revision N]\n"
               "                        [--file-page-delay MS] [--wait-seconds N] [--expiring-links]\n"
               "Port 0 picks a free port. --dump-file writes the bytes served at /d/ID to stdout.\n"
               "--encoding gbk serves the resource site as such sites were: pages in GBK with the\n"
               "charset only in a meta tag (none at all from the second results page on), the\n"
               "search key read as GBK, download names as raw GBK bytes (the zwpct and zwword\n"
               "files' percent-encoded and as an RFC 2047 word). --log appends each\n"
               "request to FILE: method, target as sent, Range, If-Range (when sent), status.\n"
               "--hostile also serves broken pages: search keys __empty __huge __binary __nested\n"
               "__many __nohtml __nosize __tags __slow __cut __files __self __away __scheme __busy\n"
               "__error __stall, file pages /f/__{404,endless,huge,longname,spoof,reload,repeat,busy,late,next}.html,\n"
               "and /h/self.html, /h/storm.html, /h/later.html on both sites.\n"
               "Downloads /d/ID and /bytes/N.bin serve byte ranges; ?cut=N drops the connection at\n"
               "byte N once, ?refuse=S[&times=K] answers the first K resumptions with status S,\n"
               "?rate=B sends B bytes a second, ?ranges=0 serves no ranges. They send an ETag and a\n"
               "Last-Modified date, and serve the whole file when If-Range matches neither.\n"
               "--rate B sends every download at B bytes a second unless its ?rate= says otherwise.\n"
               "--revision N (0 to 99999) serves other contents for every file, with another ETag and\n"
               "Last-Modified; --dump-file writes that revision. --file-page-delay MS (up to 60000)\n"
               "has every file page take that long to answer. --wait-seconds N (up to 600, 3 by\n"
               "default) is the countdown of the \"请稍候\" pages. --expiring-links adds this\n"
               "process's token to the download links of file pages (/d/ID?token=T) and answers a\n"
               "download with another token with 403, as after a restart of the site.\n",
               to);
}

template<typename T> bool parseNumber(const std::string &s, T &out)
{
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && ptr == s.data() + s.size() && !s.empty();
}

bool parsePort(const std::string &s, int &out)
{
    return parseNumber(s, out) && out >= 0 && out <= 65535;
}

// The options that take a value: each stores it, or says it is bad.
using Setter = std::function<bool(Options &, const std::string &)>;
const std::map<std::string, Setter> &valueOptions()
{
    static const std::map<std::string, Setter> options {
        {"--bind", [](Options &o, const std::string &v) { return o.bind = v, true; }},
        {"--home-bind", [](Options &o, const std::string &v) { return o.homeBind = v, true; }},
        {"--site-port", [](Options &o, const std::string &v) { return parsePort(v, o.sitePort); }},
        {"--home-port", [](Options &o, const std::string &v) { return parsePort(v, o.homePort); }},
        {"--catalogue", [](Options &o, const std::string &v) { return o.catalogue = v, true; }},
        {"--version", [](Options &o, const std::string &v) { return o.version = v, true; }},
        {"--dump-file", [](Options &o, const std::string &v) { return o.dumpId = v, o.dump = true; }},
        {"--encoding",
         [](Options &o, const std::string &v) {
             o.gbk = v == "gbk";
             return v == "gbk" || v == "utf-8";
         }},
        {"--log", [](Options &o, const std::string &v) { return o.log = v, true; }},
        {"--rate", [](Options &o, const std::string &v) { return parseNumber(v, o.rate); }},
        {"--revision",
         [](Options &o, const std::string &v) { return parseNumber(v, o.revision) && o.revision <= kMaxRevision; }},
        {"--wait-seconds",
         [](Options &o, const std::string &v) {
             return parseNumber(v, o.waitSeconds) && o.waitSeconds <= kMaxWaitSeconds;
         }},
        {"--file-page-delay",
         [](Options &o, const std::string &v) {
             return parseNumber(v, o.filePageDelay) && o.filePageDelay <= kMaxFilePageDelay;
         }},
    };
    return options;
}

} // namespace

int parseOptions(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        if ((arg == "--help" || arg == "-h") && !hasValue) {
            usage(stdout);
            return 0;
        }
        if ((arg == "--hostile" || arg == "--expiring-links") && !hasValue) {
            (arg == "--hostile" ? o.hostile : o.expiringLinks) = true;
            continue;
        }
        const auto option = valueOptions().find(arg);
        if (option == valueOptions().end()) {
            std::fprintf(stderr, "unknown argument: %s\n", argv[i]);
            usage(stderr);
            return 2;
        }
        if (!hasValue && i + 1 >= argc) {
            std::fprintf(stderr, "%s needs a value\n", arg.c_str());
            return 2;
        }
        if (!hasValue)
            value = argv[++i];
        if (!option->second(o, value)) {
            std::fprintf(stderr, "bad value for %s: %s\n", arg.c_str(), value.c_str());
            return 2;
        }
    }
    return -1;
}

std::string defaultCatalogue()
{
    std::vector<std::filesystem::path> candidates;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto dir = exe.parent_path();
        candidates.push_back(dir / ONDRIX_DEMO_DATA_RELATIVE / "catalogue.tsv");
        candidates.push_back(dir / "catalogue.tsv");
    }
    if (*ONDRIX_DEMO_CATALOGUE_DEFAULT)
        candidates.emplace_back(ONDRIX_DEMO_CATALOGUE_DEFAULT);
    for (const auto &c : candidates) {
        if (std::filesystem::is_regular_file(c, ec))
            return c.lexically_normal().string();
    }
    return candidates.empty() ? std::string("catalogue.tsv") : candidates.back().string();
}

} // namespace demosite
