// The address descrambler: the addresses built into the program descramble
// to the ones it was configured with, whatever they are, and the scrambling
// tool's texts (plain ASCII) come back.
#include <QtTest>

#include "Descramble.h"
#include "StoredAddresses.h"

class DescrambleTest : public QObject
{
    Q_OBJECT

private slots:
    void storedAddresses()
    {
        const auto seed = static_cast<qint16>(QByteArray(StoredSeed).toShort());
        QCOMPARE(Descramble(storedText(StoredSiteBase), seed), QStringLiteral(ONDRIX_TEST_SITE_BASE));
        QCOMPARE(Descramble(storedText(StoredHomePage), seed), QStringLiteral(ONDRIX_TEST_HOME_PAGE));
        QVERIFY(storedText(StoredSiteBase) != QStringLiteral(ONDRIX_TEST_SITE_BASE));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<int>("seed");
        QTest::newRow("site") << QStringLiteral("http://127.0.0.1:8365") << 7;
        QTest::newRow("one char") << QStringLiteral("h") << 1;
        QTest::newRow("controls") << QString::fromLatin1("\x01\x7f\t \"'") << 9;
    }

    void roundTrip()
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
};

QTEST_GUILESS_MAIN(DescrambleTest)
#include "tst_descramble.moc"
