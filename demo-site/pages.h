// HTML of both demo sites. The markup of the search and file pages is what
// the client's scraper keys on, so changes here must keep the same needles.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"

namespace demosite {

inline constexpr int kPageSize = 10;

std::string htmlEscape(std::string_view s);
// Percent-encodes everything except RFC 3986 unreserved characters.
std::string percentEncode(std::string_view s);
// Escaped title with every occurrence of `key` wrapped in <b>…</b>.
std::string highlightTitle(std::string_view title, std::string_view key);

std::string resourceIndexPage();
// enc: the key as the pager's links write it (percent-encoded, in the site's encoding).
std::string searchPage(std::string_view key, long long page, const std::vector<const Entry *> &hits,
                       const std::string &enc);
// pathName: the download's name as the address of the "path" way carries it;
// token: added to every download address of the page (none when empty).
std::string filePage(const Entry &e, const std::string &pathName = {}, const std::string &token = {});
// The "请稍候" page of the "wait" way, going on after `seconds`, and the
// pop-up advertisement.
std::string waitPage(const Entry &e, const std::string &token = {}, unsigned seconds = 3);
std::string popupPage();
std::string framePage();

std::string homeIndexPage();
std::string adPage(std::string_view version);
std::string adItemPage(int n);

std::string errorPage(int status, std::string_view message);

} // namespace demosite
