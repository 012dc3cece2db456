#pragma once

#include <QString>

// The pseudo-random generator behind the address scrambler: a 24-bit linear
// congruential generator whose whole sequence is fixed by one negative seed.
class Randomizer
{
public:
    // Restarts the sequence from a state fixed by the negative argument alone
    // and returns the first value of it.
    float reseed(float negative);
    // The next value, 0 <= v < 1.
    float next();

private:
    quint32 m_state = 0x50000; // the state before any reseeding
};

// The program-wide generator; the scrambler is its only user.
Randomizer &programRandomizer();

// Turns a stored scrambled address back into text (and, since XOR undoes
// itself, a plain address whose characters are all below 128 into its stored
// form). Empty input gives "1"; any character the code page cannot carry
// gives "NewFile", never a shortened text.
QString Descramble(const QString &text, qint16 seed, Randomizer &generator = programRandomizer());

// A stored text as built into the program. Its length comes from the array,
// since a scrambled text may well hold a NUL character.
template<size_t N> QString storedText(const char16_t (&text)[N])
{
    return QString::fromUtf16(text, qsizetype(N) - 1);
}
