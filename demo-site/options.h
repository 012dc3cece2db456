// The demo site's command line.
#pragma once

#include <cstdint>
#include <string>

namespace demosite {

struct Options
{
    std::string bind = "127.0.0.1";
    // The home site is a site of its own, as the maker's is: a browser keeps
    // it apart from the resource site (another loopback address, another
    // site to the engine; a port alone does not make one).
    std::string homeBind = "127.0.0.2";
    int sitePort = 8365;
    int homePort = 8366;
    std::string catalogue;
    std::string version = "2.01";
    std::string dumpId;
    bool dump = false;
    bool hostile = false;
    bool gbk = false;                // --encoding gbk
    std::string log;                 // --log FILE
    std::uint64_t rate = 0;          // --rate B: every download's default ?rate=
    std::uint32_t revision = 0;      // --revision N: which version of the files is served
    std::uint32_t filePageDelay = 0; // --file-page-delay MS: how long each file page takes to answer
    std::uint32_t waitSeconds = 3;   // --wait-seconds N: the countdown of the "请稍候" pages
    bool expiringLinks = false;
    std::string token; // --expiring-links: the one this process's file pages hand out
};

inline constexpr std::uint32_t kMaxRevision = 99999;

// Fills o from the arguments; -1 to go on, otherwise the exit code (help,
// or a bad argument, told on stderr).
int parseOptions(int argc, char **argv, Options &o);
// The catalogue installed beside the program, or the source tree's.
std::string defaultCatalogue();

} // namespace demosite
