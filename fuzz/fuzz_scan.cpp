// The result scan over arbitrary page text: it ends, in time (the run's
// -timeout), and what it returns holds what the window relies on. What each
// entry should read is tst_textops::scan's; a model of the scan here found
// nothing those rows do not, so it went.
#include <cstddef>
#include <cstdint>

#include <QString>

#include "FuzzCheck.h"
#include "ResultScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString marker = QStringLiteral("href=\"/f/");
    const QString page = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype markers = page.count(marker);

    ResultScanner scanner(page);
    qsizetype n = 0;
    int rows = 0;
    while (const auto e = scanner.next(marker)) {
        FUZZ_CHECK(++n <= markers);
        // Free entries take the rows in order; the others none.
        FUZZ_CHECK(e->costsPoints ? e->row == -1 : e->row == rows++);
        // A title ends at the first "</DIV>", a size at the first bar.
        FUZZ_CHECK(!e->title.contains(QStringLiteral("</DIV>")));
        FUZZ_CHECK(!e->sizeText.contains(QLatin1Char('|')));
    }
    // Once finished the scanner stays finished.
    FUZZ_CHECK(!scanner.next(marker));
    return 0;
}
