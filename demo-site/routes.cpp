// The routes of the two demo sites: the resource site's pages and
// downloads, and the home site's advertisement page and setup file.
#include "routes.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <httplib.h>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "encoding.h"
#include "hostile.h"
#include "pages.h"

namespace demosite {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::uint64_t kSetupBytes = 200 * 1024;
// Revision N of a file was last modified N days after revision 0
// (Thu, 01 Oct 2020 08:00:00 GMT); the bound keeps the year at four digits.
constexpr std::time_t kRevision0Time = 1601539200;
const char *const kHtml = "text/html; charset=utf-8";

std::string fileNameSafe(std::string_view s)
{
    std::string out;
    for (char c : s) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.'
                        || c == '-' || c == '_';
        out += ok ? c : '_';
    }
    return out;
}

std::string contentDisposition(const std::string &name, const std::string &asciiFallback)
{
    return "attachment; filename=\"" + asciiFallback + "\"; filename*=UTF-8''" + percentEncode(name);
}

void serveStream(httplib::Response &res, std::uint32_t seed, std::uint64_t length)
{
    res.set_content_provider(static_cast<std::size_t>(length), "application/octet-stream",
                             [seed](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
                                 std::vector<char> buf(std::min(length, kChunk));
                                 fillStream(seed, offset, buf.data(), buf.size());
                                 return sink.write(buf.data(), buf.size());
                             });
}

void fail(httplib::Response &res, int status, std::string_view message)
{
    res.status = status;
    res.set_content(errorPage(status, message), kHtml);
}

std::uint64_t numberParam(const httplib::Request &req, const char *name)
{
    std::uint64_t n = 0;
    if (req.has_param(name)) {
        const std::string v = req.get_param_value(name);
        std::from_chars(v.data(), v.data() + v.size(), n);
    }
    return n;
}

// The stream a file is served from in a revision; revision 0 is the file's own.
std::uint32_t revisionSeed(std::uint32_t seed, std::uint32_t revision)
{
    return revision == 0 ? seed : seed ^ fnv1a("revision " + std::to_string(revision));
}

// The Last-Modified date of every file in a revision, as an HTTP date.
std::string lastModified(std::uint32_t revision)
{
    static constexpr const char *days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char *months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = kRevision0Time + static_cast<std::time_t>(revision) * 24 * 60 * 60;
    std::tm tm {};
    gmtime_r(&t, &tm);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday], tm.tm_mday,
                  months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

// A download link that another run of the site handed out (another token)
// has expired. The error page goes out whole, whatever range was asked for.
bool refuseExpiredLink(const httplib::Request &req, httplib::Response &res, const Options &opt)
{
    if (opt.token.empty() || !req.has_param("token") || req.get_param_value("token") == opt.token)
        return false;
    const_cast<httplib::Request &>(req).ranges.clear();
    fail(res, 403, "下载链接已过期");
    return true;
}

// Whether this is one of the first `times` requests for a range of this
// address (the process remembers them).
bool firstRangeRequests(const std::string &target, std::uint64_t times)
{
    static std::mutex mutex;
    static std::map<std::string, std::uint64_t> seen;
    const std::lock_guard<std::mutex> lock(mutex);
    return ++seen[target] <= times;
}

// A download with byte ranges and a strong validator, so that a client can
// resume it. Query options change it as servers of such sites do: "rate=B"
// sends B bytes a second (free downloads were throttled), "ranges=0" serves
// no ranges and no validator, every request from byte 0. Others break it on
// purpose: "cut=N" drops the connection of a response that starts below byte
// N once it reaches N (the resumed request, starting at N, goes through), and
// "refuse=S" answers the first "times" requests (default 1) for a range after
// byte 0 with status S, "gone=K" answers every GET after the first K with a
// "链接已失效" page and status 200, "head-delay=MS" answers HEAD that
// late, and "head=refuse" answers HEAD with 405, as servers that only know
// GET do. The site's options apply to every download: the
// revision picks the contents and validators, --rate is the default "rate",
// and with expiring links a stale token gets 403.
void serveDownload(const httplib::Request &req, httplib::Response &res, const Options &opt,
                   const std::string &disposition, std::uint32_t fileSeed, std::uint64_t length)
{
    if (refuseExpiredLink(req, res, opt))
        return;
    if (req.method == "HEAD" && req.get_param_value("head") == "refuse")
        return fail(res, 405, "Method Not Allowed");
    if (req.method == "HEAD" && req.has_param("head-delay"))
        std::this_thread::sleep_for(std::chrono::milliseconds(numberParam(req, "head-delay")));
    if (req.method == "GET" && req.has_param("gone")
        && !firstRangeRequests(req.target + "#get", numberParam(req, "gone"))) {
        const_cast<httplib::Request &>(req).ranges.clear();
        return res.set_content(errorPage(200, "链接已失效"), kHtml);
    }
    const std::uint32_t seed = revisionSeed(fileSeed, opt.revision);
    const std::string etag = "\"" + std::to_string(seed) + "-" + std::to_string(length) + "\"";
    const std::string modified = lastModified(opt.revision);
    const bool ranges = !req.has_param("ranges") || req.get_param_value("ranges") != "0";
    // A range of a file that has changed since the client's part of it
    // would mix two files: HTTP has the whole new file sent instead. The
    // library ignores If-Range.
    const bool stale = req.has_header("If-Range") && req.get_header_value("If-Range") != etag
                       && req.get_header_value("If-Range") != modified;
    if (!ranges || stale)
        const_cast<httplib::Request &>(req).ranges.clear();
    const std::uint64_t start
        = req.ranges.empty() || req.ranges.front().first < 0 ? 0 : static_cast<std::uint64_t>(req.ranges.front().first);
    const std::uint64_t status = numberParam(req, "refuse");
    if (status >= 400 && status < 600 && start > 0
        && firstRangeRequests(req.target, req.has_param("times") ? numberParam(req, "times") : 1)) {
        // The library would cut the error page to the asked range.
        const_cast<httplib::Request &>(req).ranges.clear();
        return fail(res, static_cast<int>(status), "服务器拒绝");
    }
    if (!disposition.empty())
        res.set_header("Content-Disposition", disposition);
    if (ranges) {
        res.set_header("ETag", etag);
        res.set_header("Last-Modified", modified);
        res.set_header("Accept-Ranges", "bytes");
    }
    const std::uint64_t cut = numberParam(req, "cut");
    const std::uint64_t rate = req.has_param("rate") ? numberParam(req, "rate") : opt.rate;
    if ((cut == 0 || start >= cut) && rate == 0)
        return serveStream(res, seed, length);
    // A twentieth of the rate every 50 ms.
    const std::uint64_t chunk = rate ? std::max<std::uint64_t>(1, rate / 20) : kChunk;
    res.set_content_provider(
        static_cast<std::size_t>(length), "application/octet-stream",
        [seed, cut, rate, chunk](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
            if (cut && offset >= cut)
                return false; // the connection drops here
            if (rate)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::vector<char> buf(std::min<std::uint64_t>({length, chunk, cut ? cut - offset : chunk}));
            fillStream(seed, offset, buf.data(), buf.size());
            return sink.write(buf.data(), buf.size());
        });
}

void commonSetup(httplib::Server &srv, const char *name, const std::string &logPath)
{
    srv.set_logger([name, logPath](const httplib::Request &req, const httplib::Response &res) {
        std::fprintf(stderr, "[%s] %s %s %d\n", name, req.method.c_str(), req.path.c_str(), res.status);
        if (logPath.empty())
            return;
        static std::mutex mutex;
        const std::lock_guard<std::mutex> lock(mutex);
        if (std::FILE *f = std::fopen(logPath.c_str(), "a")) {
            // If-Range only when sent, so that other lines stay as they were.
            const std::string ifRange
                = req.has_header("If-Range") ? " if-range=" + req.get_header_value("If-Range") : std::string();
            std::fprintf(f, "[%s] %s %s range=%s%s %d\n", name, req.method.c_str(), req.target.c_str(),
                         req.get_header_value("Range").c_str(), ifRange.c_str(), res.status);
            std::fclose(f);
        }
    });
    srv.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request &, httplib::Response &res) {
        if (!res.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(errorPage(res.status, res.status == 404 ? "页面不存在" : "请求错误"), kHtml);
        return httplib::Server::HandlerResponse::Handled;
    }));
    srv.set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, std::exception_ptr) { fail(res, 500, "内部错误"); });
}

// A page of the resource site: UTF-8 with its charset in a meta tag, or in
// GBK mode GBK with "gbk" there instead, or with no declaration at all; the
// header never names one, as such sites' servers did not.
void sendPage(httplib::Response &res, std::string html, bool gbk, bool declared = true)
{
    if (!gbk)
        return res.set_content(html, kHtml);
    const std::string meta = "<meta charset=\"utf-8\">";
    if (const auto at = html.find(meta); at != std::string::npos)
        html.replace(at, meta.size(), declared ? "<meta charset=\"gbk\">" : "");
    res.set_content(toGbk(html), "text/html");
}

std::string base64(std::string_view bytes)
{
    static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= bytes.size() - i ? digits[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

// The name a download is sent under: in UTF-8 mode an ASCII fallback and
// the RFC 5987 form; in GBK mode raw GBK bytes, as such servers sent them.
// The "pct" and "word" ways write it in the site's encoding, percent-encoded
// or as an RFC 2047 word, as other download scripts did.
std::string dispositionOf(const Entry &e, bool gbk)
{
    const std::string name = downloadName(e);
    if (e.start == "pct")
        return "attachment; filename=\"" + percentEncode(gbk ? toGbk(name) : name) + "\"";
    if (e.start == "word")
        return "attachment; filename=\"=?" + std::string(gbk ? "GBK" : "UTF-8") + "?B?"
               + base64(gbk ? toGbk(name) : name) + "?=\"";
    if (gbk)
        return "attachment; filename=\"" + toGbk(name) + "\"";
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
    return contentDisposition(name, ascii ? name : e.id + ".zip");
}

// The download of the "open" way is served only to its own file page: with
// that page as the Referer and the cookie it set.
bool cameFromFilePage(const httplib::Request &req, const Entry &e)
{
    const std::string referer = req.get_header_value("Referer");
    const std::string page = "/f/" + e.id + ".html";
    const bool fromPage
        = referer.size() >= page.size() && referer.compare(referer.size() - page.size(), page.size(), page) == 0;
    return fromPage && req.get_header_value("Cookie").find("dl=" + e.id) != std::string::npos;
}

void searchRoute(httplib::Server &srv, const Catalogue &cat, const Options &opt)
{
    srv.Get("/search.php", [&cat, &opt](const httplib::Request &req, httplib::Response &res) {
        if (!req.has_param("key"))
            return fail(res, 400, "缺少关键词");
        const std::string raw = req.get_param_value("key");
        if (opt.hostile && serveHostileSearch(raw, cat, res))
            return;
        // A GBK site reads a key in another encoding as whatever GBK makes of it.
        const std::string key = opt.gbk ? fromGbk(raw).value_or("\xEF\xBF\xBD") : raw;
        if (!isValidUtf8(key))
            return fail(res, 400, "关键词编码错误");
        long long page = 1;
        if (req.has_param("page")) {
            const std::string p = req.get_param_value("page");
            auto [ptr, ec] = std::from_chars(p.data(), p.data() + p.size(), page);
            if (ec != std::errc() || ptr != p.data() + p.size())
                return fail(res, 400, "页码错误");
        }
        sendPage(res, searchPage(key, page, cat.search(key), percentEncode(opt.gbk ? toGbk(key) : key)), opt.gbk,
                 page < 2);
    });
}

// The file pages, the "请稍候" pages they lead to, and what they load beside.
void filePageRoutes(httplib::Server &srv, const Catalogue &cat, const Options &opt)
{
    srv.Get(R"(/f/([A-Za-z0-9]+)\.html)", [&cat, &opt](const httplib::Request &req, httplib::Response &res) {
        // Such sites' file pages took their time, while the user clicked on.
        if (opt.filePageDelay > 0 && !nap(std::chrono::milliseconds(opt.filePageDelay)))
            return fail(res, 503, "服务器正在停止");
        const Entry *e = cat.find(req.matches[1].str());
        if (!e)
            return fail(res, 404, "资源不存在");
        if (e->start == "open")
            res.set_header("Set-Cookie", "dl=" + e->id + "; Path=/");
        const std::string name = downloadName(*e);
        sendPage(res, filePage(*e, percentEncode(opt.gbk ? toGbk(name) : name), opt.token), opt.gbk);
    });
    srv.Get(R"(/wait/([A-Za-z0-9]+)\.html)", [&cat, &opt](const httplib::Request &req, httplib::Response &res) {
        const Entry *e = cat.find(req.matches[1].str());
        if (!e)
            return fail(res, 404, "资源不存在");
        sendPage(res, waitPage(*e, opt.token, opt.waitSeconds), opt.gbk);
    });
    srv.Get("/popup.html",
            [&opt](const httplib::Request &, httplib::Response &res) { sendPage(res, popupPage(), opt.gbk); });
    srv.Get("/d/popup", [&opt](const httplib::Request &req, httplib::Response &res) {
        serveDownload(req, res, opt, contentDisposition("ad.exe", "ad.exe"), fnv1a("popup"), 4096);
    });
    srv.Get("/frame/side.html",
            [&opt](const httplib::Request &, httplib::Response &res) { sendPage(res, framePage(), opt.gbk); });
}

// The downloads, in each of the ways file pages start them.
void downloadRoutes(httplib::Server &srv, const Catalogue &cat, const Options &opt)
{
    srv.Get(R"(/d/([A-Za-z0-9]+))", [&cat, &opt](const httplib::Request &req, httplib::Response &res) {
        const Entry *e = cat.find(req.matches[1].str());
        if (!e)
            return fail(res, 404, "资源不存在");
        if (refuseExpiredLink(req, res, opt))
            return;
        if (req.has_param("guard") && !cameFromFilePage(req, *e))
            return fail(res, 403, "请从下载页下载");
        // A mirror serves only what the site's pages send on: the Referer
        // names the site's origin.
        if (req.has_param("mirror") && req.get_header_value("Referer").rfind("http://" + opt.bind + ':', 0) != 0)
            return fail(res, 403, "请从本站下载");
        serveDownload(req, res, opt, dispositionOf(*e, opt.gbk), fnv1a(e->id), e->bytes);
    });
    // The "post" way: the answer to the file page's form is the file.
    srv.Post("/dl.php", [&cat, &opt](const httplib::Request &req, httplib::Response &res) {
        const Entry *e = cat.find(req.get_param_value("id"));
        if (!e)
            return fail(res, 404, "资源不存在");
        serveDownload(req, res, opt, dispositionOf(*e, opt.gbk), fnv1a(e->id), e->bytes);
    });
    // The "path" way: the name only in the address, no Content-Disposition.
    srv.Get(R"(/dl/([A-Za-z0-9]+)/[^/]+)", [&cat, &opt](const httplib::Request &req, httplib::Response &res) {
        const Entry *e = cat.find(req.matches[1].str());
        if (!e)
            return fail(res, 404, "资源不存在");
        serveDownload(req, res, opt, std::string(), fnv1a(e->id), e->bytes);
    });
    // Generated bytes of any length up to 4 GiB, for transfer measurements.
    srv.Get(R"(/bytes/([0-9]{1,10})\.bin)", [&opt](const httplib::Request &req, httplib::Response &res) {
        const std::string digits = req.matches[1].str();
        const std::uint64_t length = std::stoull(digits);
        if (length > (4ULL << 30))
            return fail(res, 400, "太大");
        const std::string name = "bytes-" + digits + ".bin";
        serveDownload(req, res, opt, contentDisposition(name, name), fnv1a(name), length);
    });
}

} // namespace

void setupResourceSite(httplib::Server &srv, const Catalogue &cat, const Options &opt)
{
    commonSetup(srv, "site", opt.log);
    if (opt.hostile) {
        addHostileFileRoutes(srv);
        addHostileBrowserRoutes(srv);
    }
    srv.Get("/",
            [&opt](const httplib::Request &, httplib::Response &res) { sendPage(res, resourceIndexPage(), opt.gbk); });
    searchRoute(srv, cat, opt);
    filePageRoutes(srv, cat, opt);
    downloadRoutes(srv, cat, opt);
}

void setupHomeSite(httplib::Server &srv, const Options &opt)
{
    const std::string version = opt.version;
    commonSetup(srv, "home", opt.log);
    if (opt.hostile)
        addHostileBrowserRoutes(srv);
    srv.Get("/", [](const httplib::Request &, httplib::Response &res) { res.set_content(homeIndexPage(), kHtml); });
    srv.Get("/ad/365.htm",
            [version](const httplib::Request &, httplib::Response &res) { res.set_content(adPage(version), kHtml); });
    srv.Get(R"(/ad/([0-9])\.htm)", [](const httplib::Request &req, httplib::Response &res) {
        res.set_content(adItemPage(req.matches[1].str()[0] - '0'), kHtml);
    });
    srv.Get("/download/ondrix-setup.bin", [version](const httplib::Request &, httplib::Response &res) {
        const std::string name = "ondrix-setup-" + fileNameSafe(version) + ".bin";
        res.set_header("Content-Disposition", contentDisposition(name, name));
        serveStream(res, fnv1a("ondrix-setup-" + version), kSetupBytes);
    });
}

int dumpFile(const Catalogue &cat, const std::string &id, std::uint32_t revision)
{
    const Entry *e = cat.find(id);
    if (!e) {
        std::fprintf(stderr, "unknown file id: %s\n", id.c_str());
        return 1;
    }
    const std::uint32_t seed = revisionSeed(fnv1a(e->id), revision);
    std::vector<char> buf(kChunk);
    for (std::uint64_t off = 0; off < e->bytes; off += kChunk) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, e->bytes - off));
        fillStream(seed, off, buf.data(), n);
        if (std::fwrite(buf.data(), 1, n, stdout) != n)
            return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace demosite
