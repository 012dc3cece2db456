// The result scan over arbitrary page text: checks each entry against a plain
// model of the scan written here, and the invariants the window relies on.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <QString>

#include "FuzzCheck.h"
#include "ResultScan.h"
#include "TextOps.h"

using TextOps::FindText;
using TextOps::SubText;

namespace {

const QString Marker = QStringLiteral("href=\"/f/");

struct Expected
{
    std::size_t markerAt; // 0-based
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
        e.markerAt = i1;
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

// FindText's and SubText's own contracts at a position the input chooses.
void checkTextOps(const QString &page, const QString &needle, qsizetype from)
{
    const qsizetype at = FindText(page, needle, from);
    if (from > page.size())
        FUZZ_CHECK(at == 0);
    if (at != 0) {
        FUZZ_CHECK(at >= from && at + needle.size() - 1 <= page.size());
        FUZZ_CHECK(SubText(page, at, needle.size()) == needle);
    }
    FUZZ_CHECK(!SubText(page, 0, 1));
    FUZZ_CHECK(!SubText(page, 1, -1));
    FUZZ_CHECK(SubText(page, page.size() + 1, 5) == QString());
    const auto tail = SubText(page, from, page.size());
    FUZZ_CHECK(tail && tail->size() == (from > page.size() ? 0 : page.size() - from + 1));
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

        // Where they stand in the page: identifier right after the marker and
        // before ".html", title closed by "</DIV>".
        const qsizetype idAt = qsizetype(x.markerAt) + 1 + Marker.size();
        FUZZ_CHECK(FindText(page, Marker, qsizetype(x.markerAt) + 1) == qsizetype(x.markerAt) + 1);
        FUZZ_CHECK(SubText(page, idAt, e->identifier.size()) == e->identifier);
        FUZZ_CHECK(FindText(page, QStringLiteral(".html"), qsizetype(x.markerAt) + 1) == idAt + e->identifier.size());
        const qsizetype titleAt = qsizetype(x.title.data() - pageView.data()) + 1;
        FUZZ_CHECK(SubText(page, titleAt, e->title.size()) == e->title);
        FUZZ_CHECK(SubText(page, titleAt + e->title.size(), 6) == QStringLiteral("</DIV>"));
        FUZZ_CHECK(!e->title.contains(QStringLiteral("</DIV>")));
        FUZZ_CHECK(!e->sizeText.contains(QLatin1Char('|')));

        if (!e->costsPoints) {
            const QString text = TextOps::HtmToTxt(e->title);
            FUZZ_CHECK(text.size() <= e->title.size());
            const QString trimmed = TextOps::Trim(text);
            FUZZ_CHECK(!trimmed.startsWith(QLatin1Char(' ')) && !trimmed.endsWith(QLatin1Char(' ')));
        }
    }
    FUZZ_CHECK(n == expected.size());
    // Once finished the scanner stays finished.
    FUZZ_CHECK(!scanner.next(Marker));

    if (size > 0) {
        const qsizetype from = 1 + qsizetype(data[0]) * qsizetype(data[size - 1]) % (page.size() + 2);
        checkTextOps(page, Marker, from);
        checkTextOps(page, page.mid(page.size() / 2, 3), from);
    }
    return 0;
}
