#include "addcolumns.h"
#include "universemap.h"

#include <QtTest>

class tst_UniverseMap : public QObject
{
    Q_OBJECT

private slots:
    void eachProtocolsNumbersFeedTheirRecords_data();
    void eachProtocolsNumbersFeedTheirRecords();
};

void tst_UniverseMap::eachProtocolsNumbersFeedTheirRecords_data()
{
    addColumns<int>({"artNetFirst", "sacnFirst", "number"});
    QTest::addColumn<int>("byArtNet"); // -1: none
    QTest::addColumn<int>("bySacn");

    // Records 0, 5 and 255 are listed.
    QTest::newRow("defaults, 5") << 0 << 1 << 5 << 5 << -1;
    QTest::newRow("defaults, 6: Art-Net feeds unlisted records") << 0 << 1 << 6 << 6 << 5;
    QTest::newRow("defaults, 256") << 0 << 1 << 256 << -1 << 255;
    QTest::newRow("defaults, 257") << 0 << 1 << 257 << -1 << -1;
    QTest::newRow("Art-Net from 256: 256") << 256 << 1 << 256 << 0 << 255;
    QTest::newRow("Art-Net from 256: 255") << 256 << 1 << 255 << -1 << -1;
    QTest::newRow("highest first, last Port-Address") << 32512 << 1 << 32767 << 255 << -1;
    QTest::newRow("first beyond 15 bits is the highest") << 40000 << 1 << 32512 << 0 << -1;
    QTest::newRow("sACN from 63744: 63999") << 0 << 63744 << 63999 << -1 << 255;
    QTest::newRow("sACN from 100: 105") << 0 << 100 << 105 << 105 << 5;
}

void tst_UniverseMap::eachProtocolsNumbersFeedTheirRecords()
{
    QFETCH(int, artNetFirst);
    QFETCH(int, sacnFirst);
    QFETCH(int, number);
    QFETCH(int, byArtNet);
    QFETCH(int, bySacn);

    const UniverseMap map(quint16(artNetFirst), quint16(sacnFirst), {255, 5, 0, 5, 300});
    QCOMPARE(map.recordOfPortAddress(quint16(number)), byArtNet);
    QCOMPARE(map.recordOfSacnUniverse(quint16(number)), bySacn);
    if (byArtNet >= 0)
        QCOMPARE(int(map.portAddressOf(byArtNet)), number);
    if (bySacn >= 0)
        QCOMPARE(int(map.sacnUniverseOf(bySacn)), number);
    QCOMPARE(map.records(), std::vector<std::uint16_t>({0, 5, 255}));
    QCOMPARE(int(map.portAddresses().back()), int(map.artNetFirst()) + 255);
    QCOMPARE(int(map.sacnUniverses().front()), sacnFirst);
}

QTEST_GUILESS_MAIN(tst_UniverseMap)
#include "tst_universemap.moc"
