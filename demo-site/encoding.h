// The GBK that the real site's pages, search and download names are in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace demosite {

// GBK bytes of UTF-8 text; a character GBK lacks becomes "?".
std::string toGbk(std::string_view utf8);
// UTF-8 text of GBK bytes; nothing when they are not GBK.
std::optional<std::string> fromGbk(std::string_view gbk);

} // namespace demosite
