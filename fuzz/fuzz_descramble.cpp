// The address descrambler over arbitrary text and seeds.
//
// First byte: bit 7 picks how the rest becomes text (raw UTF-16 or UTF-8);
// bit 6 set takes the seed from the next two bytes (any qint16), otherwise the
// seed is 1 to 9 from the low bits, as the build allows.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <QString>

#include "Descramble.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;
    qint16 seed = qint16(1 + (mode & 0x3F) % 9);
    if (mode & 0x40) {
        if (size < 2)
            return 0;
        seed = qint16(quint16(data[0] | (data[1] << 8)));
        data += 2;
        size -= 2;
    }
    QString text;
    if (mode & 0x80) {
        // Copied, as the bytes need not be aligned for 16-bit reads.
        std::u16string units(size / 2, u'\0');
        std::memcpy(units.data(), data, units.size() * 2);
        text = QString::fromStdU16String(units);
    } else {
        text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    }

    Randomizer generator;
    const QString result = Descramble(text, seed, generator);
    if (text.isEmpty()) {
        FUZZ_CHECK(result == QStringLiteral("1"));
        return 0;
    }
    FUZZ_CHECK(result == QStringLiteral("NewFile") || result.size() == text.size());

    bool ascii = true;
    for (const QChar ch : text)
        ascii = ascii && ch.unicode() < 128;
    if (ascii) {
        FUZZ_CHECK(result.size() == text.size());
        for (const QChar ch : result)
            FUZZ_CHECK(ch.unicode() < 128);
        // XOR undoes itself; a fresh generator or a used one, the seed alone
        // fixes the sequence.
        FUZZ_CHECK(Descramble(result, seed, generator) == text);
        // Kept to short texts: a third pass over a megabyte would crowd the
        // one-second limit under the sanitizers.
        if (text.size() <= 4096) {
            Randomizer other;
            FUZZ_CHECK(Descramble(result, seed, other) == text);
        }
    } else if (result != QStringLiteral("NewFile") && text.size() <= 4096) {
        // The code page maps both ways one to one, so other text that comes
        // through comes back as well.
        FUZZ_CHECK(Descramble(result, seed, generator) == text);
    }
    return 0;
}
