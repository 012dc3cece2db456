// The result scan over arbitrary page text: checks each entry against a plain
// model of the scan written here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <QString>

#include "FuzzCheck.h"
#include "ResultScan.h"

namespace {

const QString Marker = QStringLiteral("href=\"/f/");

struct Expected
{
    std::u16string_view identifier, title, sizeText;
    bool costsPoints;
    int row;
};

// The scan as the window describes it, on 0-based indices. The searches for
// the size and the bar stop at the next marker, as only matches before it
// count; the model stays linear so slow scanning shows up as a timeout of the
// scanner, not of this check.
std::vector<Expected> model(std::u16string_view page)
{
    constexpr std::size_t npos = std::u16string_view::npos;
    const std::u16string_view marker = u"href=\"/f/";
    std::vector<Expected> out;
    std::size_t start = 0;
    int rows = 0;
    for (;;) {
        const std::size_t i1 = page.find(marker, start);
        const std::size_t i2 = i1 == npos ? npos : page.find(u".html", i1);
        const std::size_t i3 = i2 == npos ? npos : page.find(u'>', i2);
        const std::size_t i4 = i3 == npos ? npos : page.find(u"</DIV>", i3);
        if (i4 == npos)
            return out;
        Expected e {};
        e.identifier = page.substr(i1 + 9, i2 - i1 - 9);
        e.title = page.substr(i3 + 1, i4 - i3 - 1);
        const std::size_t nextMarker = page.find(marker, i4);
        const std::u16string_view entry = page.substr(i4, nextMarker == npos ? npos : nextMarker - i4);
        const std::size_t size = entry.find(u"大小:");
        const std::size_t bar = size == npos ? npos : entry.find(u'|', size);
        if (bar != npos)
            e.sizeText = entry.substr(size + 3, bar - size - 3);
        e.costsPoints = entry.substr(0, size).find(u"积分") != npos;
        e.row = e.costsPoints ? -1 : rows++;
        out.push_back(e);
        if (nextMarker == npos)
            return out;
        start = i4;
    }
}

std::u16string_view view(const QString &s)
{
    return {reinterpret_cast<const char16_t *>(s.utf16()), std::size_t(s.size())};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString page = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::u16string_view pageView = view(page);
    const std::vector<Expected> expected = model(pageView);
    const qsizetype markers = page.count(Marker);

    ResultScanner scanner(page);
    std::size_t n = 0;
    int rows = 0;
    while (const auto e = scanner.next(Marker)) {
        FUZZ_CHECK(qsizetype(n) < markers);
        FUZZ_CHECK(n < expected.size());
        const Expected &x = expected[n++];
        FUZZ_CHECK(view(e->identifier) == x.identifier);
        FUZZ_CHECK(view(e->title) == x.title);
        FUZZ_CHECK(view(e->sizeText) == x.sizeText);
        FUZZ_CHECK(e->costsPoints == x.costsPoints);
        FUZZ_CHECK(e->row == x.row);
        FUZZ_CHECK(e->costsPoints ? e->row == -1 : e->row == rows++);

    }
    FUZZ_CHECK(n == expected.size());
    // Once finished the scanner stays finished.
    FUZZ_CHECK(!scanner.next(Marker));

    return 0;
}
