#include "hostile.h"

#include <array>
#include <chrono>
#include <httplib.h>
#include <memory>
#include <thread>

#include "pages.h"

namespace demosite {

std::atomic<bool> g_stopping {false};

bool nap(std::chrono::milliseconds total)
{
    using namespace std::chrono;
    const auto end = steady_clock::now() + total;
    while (steady_clock::now() < end) {
        if (g_stopping)
            return false;
        std::this_thread::sleep_for(std::min<milliseconds>(
            milliseconds(50), duration_cast<milliseconds>(end - steady_clock::now()) + milliseconds(1)));
    }
    return !g_stopping;
}

namespace {

const char *const kHtml = "text/html; charset=utf-8";
const std::string_view kHead = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>";

std::string item(const Entry &e)
{
    std::string out = "  <div class=\"item\"><div class=\"t\"><a href=\"/f/" + e.id + ".html\" target=\"_blank\">"
                      + htmlEscape(e.title) + "</a></div><div class=\"m\">";
    if (e.points > 0)
        out += "<span class=\"pts\">积分:" + std::to_string(e.points) + "</span> ";
    out += "大小:" + htmlEscape(e.sizeText) + " | 下载:7</div></div>\n";
    return out;
}

std::string pageStart(std::string_view title)
{
    return std::string(kHead) + std::string(title) + "</title></head><body>\n<div class=\"list\">\n";
}

const std::string_view kClose = "</div>\n</body></html>\n";

// A page that stays valid, sent one byte a second; the connection stays open
// until the page is complete, the client leaves or the server stops.
void serveSlow(httplib::Response &res, std::string page)
{
    auto body = std::make_shared<std::string>(std::move(page));
    res.set_content_provider(body->size(), kHtml, [body](std::size_t offset, std::size_t, httplib::DataSink &sink) {
        if (!nap(std::chrono::seconds(1)))
            return false;
        // A write fails once the client has gone; returning false drops the
        // connection and frees the thread.
        return sink.write(body->data() + offset, 1);
    });
}

// Content-Length promises the whole page; half of it comes, then the
// connection closes.
void serveCut(httplib::Response &res, std::string page)
{
    auto body = std::make_shared<std::string>(std::move(page));
    res.set_content_provider(body->size(), kHtml, [body](std::size_t offset, std::size_t, httplib::DataSink &sink) {
        const std::size_t half = body->size() / 2;
        if (offset >= half)
            return false;
        return sink.write(body->data() + offset, half - offset);
    });
}

std::string binaryBody()
{
    std::string out(64 * 1024, '\0');
    fillStream(fnv1a("__binary"), 0, out.data(), out.size());
    return out;
}

std::string normalPage(const Catalogue &cat)
{
    return searchPage("教程", 1, cat.search("教程"), percentEncode("教程"));
}

// What such sites' servers answered under load, and when they broke.
void answerBusy(httplib::Response &res)
{
    res.status = 503;
    res.set_content(errorPage(503, "服务器繁忙"), kHtml);
}

void answerError(httplib::Response &res)
{
    res.status = 500;
    res.set_content(errorPage(500, "内部错误"), kHtml);
}

// The connection is taken and nothing ever comes back: no status, no
// headers, until the client gives up or the server stops.
void stall()
{
    for (int seconds = 0; seconds < 600 && nap(std::chrono::seconds(1)); ++seconds) { }
}

// A file page whose zero-point table runs script instead of a plain link.
std::string zeroPointPage(std::string_view title, std::string_view onclick)
{
    return std::string(kHead) + std::string(title) + "</title></head><body>\n<h1>" + std::string(title)
           + "</h1>\n<table onclick=\"" + std::string(onclick) + "\"><tr><td>免费下载（0分）</td></tr></table>\n"
           + "<script>function save(name) { var a = document.createElement('a'); a.href = '/h/d/file';"
             " a.download = name; document.body.appendChild(a); a.click(); }</script>\n</body></html>\n";
}

// Everything a page might try on its own, with nobody clicking: downloads
// under launcher and spoofing names, a download in a frame and by
// navigation, 300 windows, frames and a navigation to schemes the desktop
// would handle.
std::string selfActingPage()
{
    return std::string(kHead)
           + "2.09</title></head><body>\n2.09 自己动手\n<script>\n"
             "function save(name) { var a = document.createElement('a'); a.href = '/h/d/file'; a.download = name;"
             " document.body.appendChild(a); a.click(); }\n"
             "save('evil.desktop'); save('run.sh'); save('invoice\\u202Etxt.desktop');\n"
             "var f = document.createElement('iframe'); f.src = '/h/d/file?frame'; document.body.appendChild(f);\n"
             "for (var i = 0; i < 300; i++) window.open('/ad/' + (i % 10) + '.htm');\n"
             "var blank = document.createElement('a'); blank.href = '/ad/1.htm'; blank.target = '_blank';\n"
             "document.body.appendChild(blank); blank.click();\n"
             "['smb://host/share', 'mailto:x@example.com', 'ftp://host/file', 'ondrix-x:run'].forEach(function (u) {\n"
             "  var s = document.createElement('iframe'); s.src = u; document.body.appendChild(s); });\n"
             "setTimeout(function () { location.href = '/h/d/file?later'; }, 300);\n"
             "setTimeout(function () { location.href = 'smb://host/share'; }, 600);\n"
             "</script>\n</body></html>\n";
}

// Advertised links for row 1: three schemes the desktop would handle, one
// web page whose click also opens 300 windows, and two downloads.
std::string stormPage()
{
    return std::string(kHead)
           + "2.01</title></head><body>\n2.01\n"
             "<a href=\"smb://host/share\" target=\"_blank\">1 共享</a>\n"
             "<a href=\"mailto:x@example.com\" target=\"_blank\">1 邮件</a>\n"
             "<a href=\"ondrix-x:run\" target=\"_blank\">1 协议</a>\n"
             "<a href=\"/ad/1.htm\" target=\"_blank\" onclick=\"for (var i = 0; i < 300; i++)"
             " window.open('/ad/' + (i % 10) + '.htm');\">1 广告</a>\n"
             "<a href=\"/h/d/file\" download=\"ad-1.bin\">1 下载</a>\n"
             "<a href=\"/h/d/file\" download=\"ad-2.bin\">1 再下载</a>\n"
             "</body></html>\n";
}

} // namespace

bool isHostileKey(std::string_view key)
{
    static constexpr std::array<std::string_view, 17> keys
        = {"__empty",  "__huge", "__binary", "__nested", "__many", "__nohtml", "__slow",  "__cut",  "__files",
           "__nosize", "__self", "__away",   "__scheme", "__tags", "__busy",   "__error", "__stall"};
    for (const auto k : keys) {
        if (k == key)
            return true;
    }
    return false;
}

std::string hostileRepeatedPage(const Catalogue &cat, std::size_t minBytes, std::size_t minEntries)
{
    std::string out = pageStart("大量结果");
    const auto &all = cat.entries();
    out.reserve(minBytes + 4096);
    for (std::size_t n = 0; !all.empty() && (out.size() < minBytes || n < minEntries); ++n)
        out += item(all[n % all.size()]);
    out += kClose;
    return out;
}

std::string hostileNestedPage(const Catalogue &cat, int depth)
{
    // Far deeper than any parser keeps as a tree; only free entries, so each
    // one the scraper finds becomes a row whatever the parser made of the
    // nesting.
    std::string out = pageStart("深层嵌套");
    for (int i = 0; i < depth; ++i)
        out += "<div>";
    int n = 0;
    for (const auto &e : cat.entries()) {
        if (e.points == 0 && n++ < 12)
            out += item(e);
    }
    for (int i = 0; i < depth; ++i)
        out += "</div>";
    out += kClose;
    return out;
}

std::string hostileNoHtmlPage(const Catalogue &cat)
{
    // Markers everywhere, but the address never ends in ".html".
    std::string out = pageStart("无链接");
    for (const auto &e : cat.entries())
        out += "  <div class=\"item\"><div class=\"t\"><a href=\"/f/" + e.id + "\">" + htmlEscape(e.title)
               + "</a></div><div class=\"m\">大小:" + htmlEscape(e.sizeText) + " | 下载:7</div></div>\n";
    out += kClose;
    return out;
}

std::string hostileNoSizePage(const Catalogue &cat, std::size_t minBytes)
{
    // Entries without "大小:" anywhere, on a big page.
    std::string out = pageStart("无大小");
    const auto &all = cat.entries();
    for (std::size_t n = 0; !all.empty() && out.size() < minBytes; ++n) {
        const Entry &e = all[n % all.size()];
        out += "  <div class=\"item\"><div class=\"t\"><a href=\"/f/" + e.id + ".html\">" + htmlEscape(e.title)
               + "</a></div><div class=\"m\">下载:7</div></div>\n";
    }
    out += kClose;
    return out;
}

std::string hostileTagsPage(const Catalogue &cat)
{
    // The first title holds 80,000 distinct tags, each of which a tag
    // stripper that starts over per tag would look for in the whole title.
    std::string tags;
    for (int i = 0; i < 80000; ++i)
        tags += "<span class=\"c" + std::to_string(i) + "\">w</span>";
    std::string out = pageStart("标签");
    int n = 0;
    for (const auto &e : cat.entries()) {
        if (e.points != 0 || n >= 12)
            continue;
        std::string entry = item(e);
        if (n++ == 0) {
            const std::string title = htmlEscape(e.title);
            entry.replace(entry.find(title), title.size(), tags);
        }
        out += entry;
    }
    out += kClose;
    return out;
}

std::string hostileFilesPage()
{
    return pageStart("坏文件") + item(Entry {"__404", "失效链接", "1 KB", 0, 1})
           + item(Entry {"__endless", "无尽下载", "未知", 0, 1}) + std::string(kClose);
}

bool serveHostileSearch(std::string_view key, const Catalogue &cat, httplib::Response &res)
{
    if (!isHostileKey(key))
        return false;
    if (key == "__empty")
        res.set_content("", kHtml);
    else if (key == "__huge")
        res.set_content(hostileRepeatedPage(cat, 10 * 1024 * 1024, 0), kHtml);
    else if (key == "__many")
        res.set_content(hostileRepeatedPage(cat, 0, 10000), kHtml);
    else if (key == "__binary")
        res.set_content(binaryBody(), kHtml);
    else if (key == "__nested")
        res.set_content(hostileNestedPage(cat, 6000), kHtml);
    else if (key == "__nohtml")
        res.set_content(hostileNoHtmlPage(cat), kHtml);
    else if (key == "__nosize")
        res.set_content(hostileNoSizePage(cat, 2 * 1024 * 1024), kHtml);
    else if (key == "__tags")
        res.set_content(hostileTagsPage(cat), kHtml);
    else if (key == "__slow")
        serveSlow(res, normalPage(cat));
    else if (key == "__cut")
        serveCut(res, normalPage(cat));
    else if (key == "__self")
        res.set_content(selfActingPage(), kHtml);
    else if (key == "__away")
        res.set_redirect("/h/away"); // on to another host name for this server
    else if (key == "__scheme")
        res.set_redirect("ondrix-x://run");
    else if (key == "__busy")
        answerBusy(res);
    else if (key == "__error")
        answerError(res);
    else if (key == "__stall")
        stall();
    else
        res.set_content(hostileFilesPage(), kHtml);
    return true;
}

// A file page with no free table that downloads once the next file page is
// asked for (the same hidden browser serves the next click), and that next
// page, which answers only once that download was asked for, or after 10 s.
void addLateActingPages(httplib::Server &srv)
{
    static std::atomic<bool> nextAsked {false}, lateAsked {false};
    srv.Get("/f/__late.html", [](const httplib::Request &, httplib::Response &res) {
        nextAsked = lateAsked = false;
        res.set_content(std::string(kHead)
                            + "晚来</title></head><body>\n<h1>晚来</h1>\n<script>\nvar t = setInterval(function () {"
                              " fetch('/h/late-go').then(function (r) { return r.text(); }).then(function (go) {"
                              " if (go !== 'go') return; clearInterval(t); var a = document.createElement('a');"
                              " a.href = '/h/d/late'; a.download = 'late.bin'; document.body.appendChild(a); a.click();"
                              " }); }, 100);\n</script>\n</body></html>\n",
                        kHtml);
    });
    srv.Get("/h/late-go", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(nextAsked ? "go" : "wait", "text/plain");
    });
    srv.Get("/h/d/late", [](const httplib::Request &, httplib::Response &res) {
        lateAsked = true;
        res.set_content(std::string(1024, 'l'), "application/octet-stream");
    });
    srv.Get("/f/__next.html", [](const httplib::Request &, httplib::Response &res) {
        nextAsked = true;
        for (int i = 0; i < 200 && !lateAsked && nap(std::chrono::milliseconds(50)); ++i) { }
        res.set_content(zeroPointPage("下一个", "save('next.bin')"), kHtml);
    });
}

void addHostileFileRoutes(httplib::Server &srv)
{
    const auto page = [&srv](const std::string &name, std::string html) {
        srv.Get("/f/" + name + ".html",
                [html](const httplib::Request &, httplib::Response &res) { res.set_content(html, kHtml); });
    };
    page("__huge", zeroPointPage("一太字节", "location.href = '/h/d/huge'"));
    page("__longname", zeroPointPage("超长名字", "save(new Array(600000 - 3).join('名') + '.bin')"));
    // The second download comes a moment later: two in one go reach the
    // engine in either order, and the test needs to know which one is first.
    page("__spoof",
         zeroPointPage("伪装名字",
                       "save('invoice\\u202Etxt.desktop'); setTimeout(function () { save('run.sh'); }, 200)"));
    page("__reload", zeroPointPage("自己刷新", "location.reload()"));
    // Another host's page in the file page's place; or in a window of its
    // own, as adverts come, with the file a moment later.
    page("__offsite",
         zeroPointPage("别处页面", "location.href = 'http://localhost:' + location.port + '/h/offsite.html'"));
    // An advert in a frame from another host, there before the click, that
    // keeps trying to download; the table's file comes a moment after the click.
    page("__adframe",
         zeroPointPage("广告框架", "setTimeout(function () { location.href = '/h/d/file'; }, 1000)")
             + "<script>var f = document.createElement('iframe'); f.src = 'http://localhost:' + location.port"
               " + '/h/adframe.html'; document.body.appendChild(f);</script>\n");
    page("__offwindow",
         zeroPointPage("别处窗口", "window.open('http://localhost:' + location.port + '/h/offsite.html');"
                                   " setTimeout(function () { location.href = '/h/d/file'; }, 1000)"));
    page("__repeat", zeroPointPage("反复请求", "location.href = '/d/__endless'; setInterval(function () {"
                                               " var f = document.createElement('iframe'); f.src = '/d/__endless';"
                                               " document.body.appendChild(f); }, 100)"));
    addLateActingPages(srv);
    srv.Get("/f/__busy.html", [](const httplib::Request &, httplib::Response &res) { answerBusy(res); });
    srv.Get("/f/__404.html", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(filePage(Entry {"__404", "失效链接", "1 KB", 0, 1}), kHtml);
    });
    srv.Get("/d/__404", [](const httplib::Request &, httplib::Response &res) {
        res.status = 404;
        res.set_content(errorPage(404, "文件已删除"), kHtml);
    });
    srv.Get("/f/__endless.html", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(filePage(Entry {"__endless", "无尽下载", "未知", 0, 1}), kHtml);
    });
    srv.Get("/d/__endless", [](const httplib::Request &, httplib::Response &res) {
        res.set_header("Content-Disposition", "attachment; filename=\"endless.bin\"");
        // No length and no end: chunks until the client goes away. Paced so a
        // forgotten download cannot fill the disk quickly.
        res.set_chunked_content_provider("application/octet-stream", [](std::size_t offset, httplib::DataSink &sink) {
            if (!nap(std::chrono::milliseconds(20)))
                return false;
            std::array<char, 16 * 1024> chunk;
            fillStream(fnv1a("__endless"), offset, chunk.data(), chunk.size());
            return sink.write(chunk.data(), chunk.size());
        });
    });
}

void addHostileBrowserRoutes(httplib::Server &srv)
{
    srv.Get("/h/self.html",
            [](const httplib::Request &, httplib::Response &res) { res.set_content(selfActingPage(), kHtml); });
    // Row 1's link opens nothing when clicked, and a window and a download
    // by itself long after.
    srv.Get("/h/later.html", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(
            std::string(kHead)
                + "稍后</title></head><body>\n<a onclick=\"setTimeout(function () {"
                  " window.open('http://x.example/'); location.href = '/h/d/file?later'; }, 6000)\">1 稍后</a>"
                  "\n</body></html>\n",
            kHtml);
    });
    srv.Get("/h/storm.html",
            [](const httplib::Request &, httplib::Response &res) { res.set_content(stormPage(), kHtml); });
    // A document on another host that a zero-point table leads to: while it
    // still loads it downloads, opens a window and goes on elsewhere.
    srv.Get("/h/offsite.html", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(std::string(kHead)
                            + "别处</title></head><body>\n<p>别处页面</p>\n<script>\n"
                              "var a = document.createElement('a'); a.href = '/h/d/file'; a.download = 'offsite.bin';"
                              " document.body.appendChild(a); a.click();\n"
                              "window.open('/h/d/file?window');\n"
                              "setTimeout(function () { location.href = '/h/d/file?later'; }, 300);\n"
                              "</script>\n<img src=\"/h/slow.png\">\n</body></html>\n",
                        kHtml);
    });
    // Tries a download every 200 ms for ten seconds, clicked or not.
    srv.Get("/h/adframe.html", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(std::string(kHead)
                            + "广告</title></head><body>\n<script>\nvar n = 0; var t = setInterval(function () {"
                              " if (++n > 50) clearInterval(t); var a = document.createElement('a');"
                              " a.href = '/h/d/file?ad'; a.download = 'adframe.bin'; document.body.appendChild(a);"
                              " a.click(); }, 200);\n</script>\n</body></html>\n",
                        kHtml);
    });
    srv.Get("/h/slow.png", [](const httplib::Request &, httplib::Response &res) {
        nap(std::chrono::seconds(3));
        res.status = 404;
    });
    srv.Get("/h/d/file", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(std::string(1024, 'x'), "application/octet-stream");
    });
    // Announces a terabyte, then trickles, so a client that accepts it is
    // seen writing.
    srv.Get("/h/d/huge", [](const httplib::Request &, httplib::Response &res) {
        res.set_header("Content-Disposition", "attachment; filename=\"huge.bin\"");
        res.set_content_provider(std::size_t(1) << 40, "application/octet-stream",
                                 [](std::size_t, std::size_t, httplib::DataSink &sink) {
                                     if (!nap(std::chrono::milliseconds(20)))
                                         return false;
                                     const std::string chunk(64 * 1024, 'h');
                                     return sink.write(chunk.data(), chunk.size());
                                 });
    });
    // The same server under another host name: the results a redirect
    // elsewhere would bring.
    srv.Get("/h/away", [](const httplib::Request &req, httplib::Response &res) {
        const std::string host = req.get_header_value("Host");
        const auto colon = host.rfind(':');
        const std::string port = colon == std::string::npos ? std::string("80") : host.substr(colon + 1);
        res.set_redirect("http://localhost:" + port + "/search.php?key=%E6%95%99%E7%A8%8B");
    });
}

} // namespace demosite
