// The routes of the two demo sites.
#pragma once

#include <cstdint>
#include <string>

#include "catalogue.h"
#include "options.h"

namespace httplib {
class Server;
} // namespace httplib

namespace demosite {

// Search, file pages, downloads in all their ways, and with --hostile the
// bad pages. cat and opt must outlive the server.
void setupResourceSite(httplib::Server &srv, const Catalogue &cat, const Options &opt);
// The advertisement page with the version, its item pages and the setup file.
void setupHomeSite(httplib::Server &srv, const Options &opt);
// Writes the bytes served at /d/ID in this revision to stdout; the exit code.
int dumpFile(const Catalogue &cat, const std::string &id, std::uint32_t revision);

} // namespace demosite
