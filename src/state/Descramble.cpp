#include "Descramble.h"

#include <bit>
#include <cmath>

#include "AnsiCodePage.h"

namespace {
constexpr quint32 StateMask = 0xFFFFFF;
constexpr quint32 Multiplier = 1140671485u;
constexpr quint32 Increment = 12820163u;
} // namespace

float Randomizer::reseed(float negative)
{
    // Mix every bit of the float into the 24-bit state, so each negative seed
    // starts its own sequence.
    const auto bits = std::bit_cast<quint32>(negative);
    m_state = (bits + (bits >> 24)) & StateMask;
    return next();
}

float Randomizer::next()
{
    m_state = (m_state * Multiplier + Increment) & StateMask;
    return static_cast<float>(m_state) / static_cast<float>(StateMask + 1);
}

Randomizer &programRandomizer()
{
    static Randomizer generator;
    return generator;
}

QString Descramble(const QString &text, qint16 seed, Randomizer &generator)
{
    static const QString Failure = QStringLiteral("NewFile");
    if (text.isEmpty())
        return QStringLiteral("1");

    generator.reseed(static_cast<float>(static_cast<qint16>(-seed)));
    QString result;
    result.reserve(text.size());
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const auto code = AnsiCodePage::code(text.at(i));
        if (!code)
            return Failure;
        const float product = generator.next() * 256.0f;
        const auto mask = static_cast<qint16>(static_cast<qint32>(std::floor(product)) & 127);
        const qint32 scrambled = static_cast<qint32>(*code) ^ static_cast<qint32>(mask);
        const auto ch = AnsiCodePage::character(static_cast<qint16>(scrambled));
        if (!ch)
            return Failure;
        result.append(*ch);
    }
    return result;
}
