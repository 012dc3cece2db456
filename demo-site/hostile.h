// Broken and malicious pages for robustness tests, served only with --hostile.
// They are reached as search results for keys starting with "__", as the
// file pages /f/__<name>.html, and on both sites under /h/.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

#include "catalogue.h"

namespace httplib {
class Server;
struct Response;
} // namespace httplib

namespace demosite {

// Raised on shutdown so never-ending responses let their threads go.
extern std::atomic<bool> g_stopping;
// Sleeps up to `total`, waking early on shutdown; false once stopping.
bool nap(std::chrono::milliseconds total);

// The keys answered with a hostile results page.
bool isHostileKey(std::string_view key);
// Fills `res` for a hostile key; false when the key is not one of them.
bool serveHostileSearch(std::string_view key, const Catalogue &cat, httplib::Response &res);
// The file pages and downloads behind the "__files" results page, and the
// file pages that try to do more than the user asked for.
void addHostileFileRoutes(httplib::Server &srv);
// Pages that act by themselves (/h/self.html), pages whose links open
// windows, unknown schemes and several downloads (/h/storm.html), and the
// downloads they use; on both sites.
void addHostileBrowserRoutes(httplib::Server &srv);

// The pages themselves, also used by tests through the server.
std::string hostileRepeatedPage(const Catalogue &cat, std::size_t minBytes, std::size_t minEntries);
std::string hostileNestedPage(const Catalogue &cat, int depth);
std::string hostileNoHtmlPage(const Catalogue &cat);
std::string hostileNoSizePage(const Catalogue &cat, std::size_t minBytes);
std::string hostileFilesPage();

} // namespace demosite
