// Broken and malicious pages for robustness tests, served only with --hostile.
// They are reached as search results for keys starting with "__" and as the
// file pages /f/__404.html and /f/__endless.html.
#pragma once

#include "catalogue.h"

#include <atomic>
#include <string>
#include <string_view>

namespace httplib {
class Server;
struct Response;
} // namespace httplib

namespace demosite {

// Raised on shutdown so never-ending responses let their threads go.
extern std::atomic<bool> g_stopping;

// The keys answered with a hostile results page.
bool isHostileKey(std::string_view key);
// Fills `res` for a hostile key; false when the key is not one of them.
bool serveHostileSearch(std::string_view key, const Catalogue &cat, httplib::Response &res);
// The file pages and downloads behind the "__files" results page.
void addHostileFileRoutes(httplib::Server &srv);

// The pages themselves, also used by tests through the server.
std::string hostileRepeatedPage(const Catalogue &cat, std::size_t minBytes, std::size_t minEntries);
std::string hostileNestedPage(const Catalogue &cat, int depth);
std::string hostileNoHtmlPage(const Catalogue &cat);
std::string hostileNoSizePage(const Catalogue &cat, std::size_t minBytes);
std::string hostileFilesPage();

} // namespace demosite
