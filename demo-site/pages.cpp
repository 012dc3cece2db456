#include "pages.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace demosite {

namespace {

constexpr std::string_view kHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>";

std::string page(std::string_view title, std::string_view body)
{
    std::string out(kHead);
    out += title;
    out += "</title></head><body>";
    out += body;
    out += "</body></html>\n";
    return out;
}

std::string pager(const std::string &enc, long long page, long long pageCount)
{
    // Links only to pages that exist; an out-of-range page gets no links so a
    // crawler walking "next" stops there.
    const bool inRange = page >= 1 && page <= pageCount;
    std::string out = "<div class=\"pager\">";
    if (inRange && page > 1) {
        out += "[<a href=\"/search.php?key=" + enc + "&page=" + std::to_string(page - 1) + "\">上一页</a>] ";
    }
    out += "第 " + std::to_string(page) + " 页";
    if (inRange && page < pageCount) {
        out += " [<a href=\"/search.php?key=" + enc + "&page=" + std::to_string(page + 1) + "\">下一页</a>]";
    }
    out += "</div>\n";
    return out;
}

} // namespace

std::string htmlEscape(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string percentEncode(std::string_view s)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
                                || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

std::string highlightTitle(std::string_view title, std::string_view key)
{
    if (key.empty())
        return htmlEscape(title);
    std::string out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = findNoCase(title, key, pos);
        if (hit == std::string_view::npos)
            break;
        out += htmlEscape(title.substr(pos, hit - pos));
        out += "<b>" + htmlEscape(title.substr(hit, key.size())) + "</b>";
        pos = hit + key.size();
    }
    out += htmlEscape(title.substr(pos));
    return out;
}

std::string resourceIndexPage()
{
    return page("资源站", "<h1>资源站</h1>\n"
                          "<form action=\"/search.php\" method=\"get\"><input name=\"key\"> "
                          "<button type=\"submit\">搜索</button></form>\n");
}

std::string searchPage(std::string_view key, long long page, const std::vector<const Entry *> &hits,
                       const std::string &enc)
{
    const long long total = static_cast<long long>(hits.size());
    const long long pageCount = (total + kPageSize - 1) / kPageSize;
    const std::string escKey = htmlEscape(key);

    std::string out(kHead);
    out += "搜索：" + escKey + "</title></head><body>\n";
    out += "<div class=\"top\">搜索“" + escKey + "”，共 " + std::to_string(total) + " 个结果</div>\n";
    const std::string pagerHtml = pager(enc, page, pageCount);
    out += pagerHtml;
    out += "<div class=\"list\">\n";
    if (page >= 1 && page <= pageCount) {
        const long long first = (page - 1) * kPageSize;
        const long long last = std::min(total, first + kPageSize);
        for (long long i = first; i < last; ++i) {
            const Entry &e = *hits[static_cast<std::size_t>(i)];
            const std::uint32_t h = fnv1a(e.id);
            const std::string downloads = std::to_string(h % 5000 + 3);
            out += "  <div class=\"item\"><div class=\"t\"><a href=\"/f/" + e.id + ".html\" target=\"_blank\">"
                   + highlightTitle(e.title, key) + "</a></div><div class=\"m\">";
            if (e.points > 0) {
                out += "<span class=\"pts\">积分:" + std::to_string(e.points) + "</span> 大小:" + htmlEscape(e.sizeText)
                       + "|下载:" + downloads;
            } else {
                // The bar follows the size directly: the program shows
                // everything between "大小:" and "|" as the size.
                out += "大小:" + htmlEscape(e.sizeText) + "|下载:" + downloads + " | 日期:2026-11-0"
                       + std::to_string(h / 5000 % 9 + 1);
            }
            out += "</div></div>\n";
        }
    }
    out += "</div>\n";
    out += pagerHtml;
    out += "</body></html>\n";
    return out;
}

namespace {

// What the zero-point table of a file page does when it is clicked, by the
// entry's way (catalogue.h). pathName is the name as the address carries it;
// a token, when there is one, goes on every download address.
std::string zeroPointTable(const Entry &e, const std::string &pathName, const std::string &token)
{
    const std::string free = "<tr><td>免费下载（0分）</td></tr>";
    const std::string query = token.empty() ? std::string() : "?token=" + token;
    const std::string go = [&]() -> std::string {
        if (e.start == "open")
            return "window.open('/d/" + e.id + "?guard=1" + (token.empty() ? "" : "&amp;token=" + token) + "')";
        if (e.start == "post")
            return "document.getElementById('dl').submit()";
        if (e.start == "wait")
            return "location.href='/wait/" + e.id + ".html'";
        if (e.start == "confirm")
            return "if (confirm('确定要下载吗？')) location.href='/d/" + e.id + query + "'";
        if (e.start == "path")
            return "location.href='/dl/" + e.id + "/" + pathName + query + "'";
        // The same server under another host name stands for a mirror.
        const std::string mirror = "'http://localhost:' + location.port + '/d/" + e.id + "?mirror=1"
                                   + (token.empty() ? "" : "&amp;token=" + token) + "'";
        if (e.start == "frame")
            return "var f = document.createElement('iframe'); f.style.display = 'none'; f.src = " + mirror
                   + "; document.body.appendChild(f)";
        if (e.start == "mirror")
            return "location.href=" + mirror;
        return "location.href='/d/" + e.id + query + "'";
    }();
    if (e.start == "blank")
        return "  <a href=\"/d/" + e.id + query + "\" target=\"_blank\"><table class=\"dl\">" + free + "</table></a>\n";
    std::string out;
    if (e.start == "post") {
        out += "  <form id=\"dl\" method=\"post\" action=\"/dl.php\"><input type=\"hidden\" name=\"id\" value=\"" + e.id
               + "\">";
        if (!token.empty())
            out += "<input type=\"hidden\" name=\"token\" value=\"" + token + "\">";
        out += "</form>\n";
    }
    return out + "  <table class=\"dl\" onclick=\"" + go + "\" style=\"cursor:pointer\">" + free + "</table>\n";
}

} // namespace

std::string filePage(const Entry &e, const std::string &pathName, const std::string &token)
{
    const std::string title = htmlEscape(e.title);
    // The pages of the other ways open a pop-up advertisement as they load.
    const bool plain = e.start == "link" || e.start == "pct" || e.start == "word";
    const std::string popup = plain ? std::string() : "<script>window.open('/popup.html');</script>\n";
    // The free-download table sits inside an outer table on purpose: only the
    // inner one has the click handler.
    return page(title, "\n" + popup
                           + "<iframe src=\"/frame/side.html\"></iframe>\n"
                             "<table class=\"box\" width=\"100%\"><tr><td>\n  <h1>"
                           + title + "</h1>\n  <div class=\"m\">大小:" + htmlEscape(e.sizeText) + "</div>\n"
                           + zeroPointTable(e, pathName, token)
                           + "</td></tr></table>\n"
                             "<table class=\"vip\"><tr><td>高速下载（需 5 积分）</td></tr></table>\n");
}

std::string waitPage(const Entry &e, const std::string &token, unsigned seconds)
{
    const std::string s = std::to_string(seconds);
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><meta http-equiv=\"refresh\" content=\"" + s + ";url=/d/"
           + e.id + (token.empty() ? std::string() : "?token=" + token)
           + "\"><title>请稍候</title></head><body><p>请稍候，" + s + " 秒后开始下载" + htmlEscape(e.title)
           + "……</p></body></html>\n";
}

std::string popupPage()
{
    // An advertisement that would save a file of its own if it were ever let.
    return page("广告", "<h1>热门推荐</h1><script>location.href = '/d/popup';</script>");
}

std::string framePage()
{
    return page("相关推荐", "<p>相关推荐</p><p>更多资源请使用站内搜索。</p>");
}

std::string homeIndexPage()
{
    return page("Ondrix 主页", "<h1>Ondrix 主页</h1>\n"
                               "<p>欢迎使用 Ondrix。这里发布新版本和使用说明。</p>\n"
                               "<p><a href=\"/ad/365.htm\">今日推荐</a></p>\n");
}

std::string adPage(std::string_view version)
{
    // Nothing may precede the version in the body text, and apart from it
    // only the anchors below carry digits.
    static constexpr std::array<std::string_view, 10> names = {
        "免费影视资源", "热门游戏下载", "精品软件推荐", "学习资料大全", "高清壁纸专区",
        "音乐在线试听", "实用工具合集", "电子书免费读", "网络小说排行", "生活服务导航",
    };
    std::string out(kHead);
    out += "推荐</title></head><body>" + htmlEscape(version) + "<br>\n";
    for (int i = 0; i < 10; ++i) {
        const std::string n = std::to_string(i);
        out += "<a href=\"/ad/" + n + ".htm\" target=\"_blank\">" + n + " " + std::string(names[i]) + "</a><br>\n";
    }
    out += "<a href=\"/download/ondrix-setup.bin\">下载 365 新版</a>\n</body></html>\n";
    return out;
}

std::string adItemPage(int n)
{
    const std::string s = std::to_string(n);
    return page("推荐 " + s, "<h1>推荐 " + s + "</h1><p>这是一个示例推荐页面。</p>");
}

std::string errorPage(int status, std::string_view message)
{
    return page("出错了", "<h1>" + std::to_string(status) + "</h1><p>" + htmlEscape(message) + "</p>");
}

} // namespace demosite
