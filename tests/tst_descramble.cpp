#include <QtTest>

#include "AnsiCodePage.h"
#include "Descramble.h"

class DescrambleTest : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void emptyInputLeavesGeneratorAlone();
    void deterministicAfterUnrelatedDraws();
    void highBitsUntouched();
    void failureGivesNewFile();
};

void DescrambleTest::roundTrip_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<int>("seed");
    QTest::newRow("site") << QStringLiteral("http://127.0.0.1:8365") << 7;
    QTest::newRow("home") << QStringLiteral("http://www.example.com") << 3;
    QTest::newRow("one char") << QStringLiteral("h") << 1;
    QTest::newRow("controls") << QString::fromLatin1("\x01\x7f\t \"'") << 9;
}

void DescrambleTest::roundTrip()
{
    QFETCH(QString, plain);
    QFETCH(int, seed);
    const QString stored = Descramble(plain, qint16(seed));
    QCOMPARE(stored.size(), plain.size());
    QVERIFY(stored != plain || plain.size() == 1);
    for (const QChar ch : stored)
        QVERIFY(ch.unicode() < 128);
    QCOMPARE(Descramble(stored, qint16(seed)), plain);
}

void DescrambleTest::emptyInputLeavesGeneratorAlone()
{
    Randomizer a;
    Randomizer b;
    a.reseed(-5);
    b.reseed(-5);
    QCOMPARE(Descramble(QString(), 5, a), QStringLiteral("1"));
    QCOMPARE(a.next(), b.next());
}

void DescrambleTest::deterministicAfterUnrelatedDraws()
{
    const QString text = QStringLiteral("http://127.0.0.1:8366/abc");
    const QString first = Descramble(text, 4);
    for (int i = 0; i < 1000; ++i)
        programRandomizer().next();
    QCOMPARE(Descramble(text, 4), first);
}

void DescrambleTest::highBitsUntouched()
{
    // Double-byte characters keep their lead byte and the trail byte's bit 7;
    // the result may not be a character of the code page at all, and then the
    // whole text fails rather than being cut short.
    const QString text = QStringLiteral("资源下载站点");
    int checked = 0;
    for (qint16 seed = 1; seed <= 9; ++seed) {
        const QString out = Descramble(text, seed);
        if (out == QStringLiteral("NewFile"))
            continue;
        ++checked;
        QCOMPARE(out.size(), text.size());
        for (int i = 0; i < text.size(); ++i) {
            const auto a = AnsiCodePage::code(text[i]);
            const auto b = AnsiCodePage::code(out[i]);
            QVERIFY(a && b);
            QCOMPARE(quint16(*a) & 0xFF80, quint16(*b) & 0xFF80);
        }
    }
    QVERIFY(checked > 0);
}

void DescrambleTest::failureGivesNewFile()
{
    // A lone surrogate and an emoji have no code in the code page.
    QCOMPARE(Descramble(QStringLiteral("http://") + QChar(0xD800) + QStringLiteral("x"), 7), QStringLiteral("NewFile"));
    QCOMPARE(Descramble(QStringLiteral("ab\U0001F600"), 7), QStringLiteral("NewFile"));
}

QTEST_GUILESS_MAIN(DescrambleTest)
#include "tst_descramble.moc"
