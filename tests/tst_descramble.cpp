// The address descrambler: the addresses built into the program descramble
// to the ones it was configured with, whatever they are.
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
    }
};

QTEST_GUILESS_MAIN(DescrambleTest)
#include "tst_descramble.moc"
