// Tag stripping over arbitrary text (plus Trim and readVersion, which take
// the same kind of input): it must end, and only ever take text away.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include <QString>

#include "FuzzCheck.h"
#include "TextOps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    int passes = 0;
    const QString text = TextOps::HtmToTxt(input, [&passes] { ++passes; });
    // Each pass removes at least one tag of two characters or more.
    FUZZ_CHECK(passes <= (input.size() - text.size()) / 2);
    if (!input.contains(QLatin1Char('<')))
        FUZZ_CHECK(text == input && passes == 0);

    // Only removals: the result is a subsequence of the input.
    qsizetype j = 0;
    for (qsizetype i = 0; i < input.size() && j < text.size(); ++i) {
        if (input.at(i) == text.at(j))
            ++j;
    }
    FUZZ_CHECK(j == text.size());

    // It stops only when no "<" is left or no ">" follows the first one.
    const qsizetype open = text.indexOf(QLatin1Char('<'));
    if (open >= 0)
        FUZZ_CHECK(text.indexOf(QLatin1Char('>'), open) < 0);

    // Without a pump it does the same.
    FUZZ_CHECK(TextOps::HtmToTxt(input) == text);

    const QString trimmed = TextOps::Trim(input);
    FUZZ_CHECK(input.contains(trimmed));
    FUZZ_CHECK(!trimmed.startsWith(QLatin1Char(' ')) && !trimmed.endsWith(QLatin1Char(' ')));

    if (const auto version = TextOps::readVersion(input))
        FUZZ_CHECK(std::isfinite(*version));
    return 0;
}
