#include "addcolumns.h"
#include "bytelist.h"
#include "sacnbytes.h"
#include "sacnpackets.h"
#include "wirebytes.h"

#include <QtTest>

Q_DECLARE_METATYPE(Sacn::Parsed)

namespace {

const Sacn::Cid Cid = {{0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A,
                        0x5A}};

Sacn::Parsed parse(const QByteArray &datagram, Sacn::DataPacket *packet = nullptr)
{
    Sacn::DataPacket ignored;
    return Sacn::parse(reinterpret_cast<const quint8 *>(datagram.constData()), datagram.size(),
                       packet ? packet : &ignored);
}

QByteArray altered(const QByteArray &datagram, int offset, const QByteArray &replacement)
{
    return QByteArray(datagram).replace(offset, replacement.size(), replacement);
}

// A synchronisation packet spelt out, 49 bytes.
QByteArray synchronization(int framingVector)
{
    QByteArray d = SacnBytes().datagram().left(38);
    d.replace(16, 2, bytes({0x70, 49 - 16}));                    // root flags and length
    d.replace(18, 4, bytes({0x00, 0x00, 0x00, 0x08}));           // root vector: extended
    d += bytes({0x70, 49 - 38});                                 // framing flags and length
    d += bytes({0x00, 0x00, 0x00, framingVector});               // framing vector
    d += char(7);                                                // sequence number
    d += bytes({0x00, 0x05});                                    // synchronisation address
    d += bytes({0x00, 0x00});                                    // reserved
    return d;
}

} // namespace

class tst_SacnPackets : public QObject
{
    Q_OBJECT

private slots:
    void everyFixedFieldIsChecked_data();
    void everyFixedFieldIsChecked();
    void acceptedPacketIsReadAsSent_data();
    void acceptedPacketIsReadAsSent();
    void buildersWriteTheWireImage();
    void extendedPacketsAreRecognised_data();
    void extendedPacketsAreRecognised();
};

void tst_SacnPackets::everyFixedFieldIsChecked_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<Sacn::Parsed>("expected");

    using P = Sacn::Parsed;
    const QByteArray valid = SacnBytes().datagram(); // 4 levels, 130 bytes
    QTest::newRow("valid") << valid << P::Data;
    QTest::newRow("preamble 0x0011") << altered(valid, 0, bytes({0x00, 0x11})) << P::WrongPreamble;
    QTest::newRow("postamble 1") << altered(valid, 2, bytes({0x00, 0x01})) << P::WrongPostamble;
    QTest::newRow("identifier letter") << altered(valid, 4, "a") << P::WrongIdentifier;
    QTest::newRow("identifier padding") << altered(valid, 15, bytes({0x20})) << P::WrongIdentifier;
    QTest::newRow("root flags 0x6") << altered(valid, 16, bytes({0x60})) << P::WrongRootLength;
    QTest::newRow("root length + 1") << altered(valid, 17, bytes({130 - 16 + 1})) << P::WrongRootLength;
    QTest::newRow("root vector 5") << altered(valid, 21, bytes({0x05})) << P::UnknownRootVector;
    QTest::newRow("framing flags 0xF") << altered(valid, 38, bytes({0xF0})) << P::WrongFramingLength;
    QTest::newRow("framing length - 1") << altered(valid, 39, bytes({130 - 38 - 1})) << P::WrongFramingLength;
    QTest::newRow("framing vector 4") << altered(valid, 43, bytes({0x04})) << P::UnknownFramingVector;
    QTest::newRow("DMP flags 0x3") << altered(valid, 115, bytes({0x30})) << P::WrongDmpLength;
    QTest::newRow("DMP length + 1") << altered(valid, 116, bytes({130 - 115 + 1})) << P::WrongDmpLength;
    QTest::newRow("DMP vector 3") << altered(valid, 117, bytes({0x03})) << P::WrongDmpVector;
    QTest::newRow("address type 0xA0") << altered(valid, 118, bytes({0xA0})) << P::WrongAddressType;
    QTest::newRow("first address 1") << altered(valid, 119, bytes({0x00, 0x01})) << P::WrongFirstAddress;
    QTest::newRow("increment 0") << altered(valid, 121, bytes({0x00, 0x00})) << P::WrongAddressIncrement;
    QTest::newRow("increment 256") << altered(valid, 121, bytes({0x01, 0x00})) << P::WrongAddressIncrement;
    QTest::newRow("value count 0") << altered(valid, 123, bytes({0x00, 0x00})) << P::WrongValueCount;
    QTest::newRow("value count 4 for 5 values") << altered(valid, 123, bytes({0x00, 0x04})) << P::WrongValueCount;
    QTest::newRow("universe 0") << altered(valid, 113, bytes({0x00, 0x00})) << P::UniverseOutOfRange;
    QTest::newRow("universe 64000") << altered(valid, 113, bytes({0xFA, 0x00})) << P::UniverseOutOfRange;
    QTest::newRow("priority 201") << altered(valid, 108, bytes({201})) << P::PriorityOutOfRange;
    QTest::newRow("last byte missing") << valid.left(129) << P::WrongRootLength;
    QTest::newRow("one byte more") << valid + '\0' << P::WrongRootLength;
    QTest::newRow("48 bytes") << valid.left(48) << P::WrongSize;

    // 513 values in a datagram whose lengths all agree: one slot too many.
    SacnBytes tooLong;
    tooLong.levels = QByteArray(513, '\x01');
    QTest::newRow("513 slots") << tooLong.datagram() << P::WrongSize;
    // Lengths that agree with a data packet shorter than its header.
    QByteArray headerOnly = valid.left(125);
    headerOnly.replace(17, 1, bytes({125 - 16})).replace(39, 1, bytes({125 - 38})).replace(116, 1, bytes({125 - 115}));
    QTest::newRow("no start code") << headerOnly << P::WrongSize;
}

void tst_SacnPackets::everyFixedFieldIsChecked()
{
    QFETCH(QByteArray, datagram);
    QFETCH(Sacn::Parsed, expected);
    QCOMPARE(parse(datagram), expected);
}

void tst_SacnPackets::acceptedPacketIsReadAsSent_data()
{
    addColumns<int>({"slotCount", "universe", "priority", "options", "startCode"});

    QTest::newRow("no slots") << 0 << 1 << 0 << 0 << 0;
    QTest::newRow("512 slots, last universe") << 512 << 63999 << 200 << 0 << 0;
    QTest::newRow("priorities, options kept") << 24 << 0x1234 << 100 << 0xE0 << 0xDD;
}

void tst_SacnPackets::acceptedPacketIsReadAsSent()
{
    QFETCH(int, slotCount);
    QFETCH(int, universe);
    QFETCH(int, priority);
    QFETCH(int, options);
    QFETCH(int, startCode);
    SacnBytes spelt;
    spelt.levels = byteRamp(slotCount, 3, 7);
    spelt.universe = universe;
    spelt.priority = priority;
    spelt.options = options;
    spelt.startCode = startCode;
    spelt.sequence = 0xFE;
    spelt.sourceName = QByteArray(64, 'n'); // fills the field, no terminating zero
    const QByteArray datagram = spelt.datagram();

    Sacn::DataPacket packet;
    QCOMPARE(parse(datagram, &packet), Sacn::Parsed::Data);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(packet.cid->bytes), 16), spelt.cid);
    QCOMPARE(QByteArray(packet.sourceName, 64), spelt.sourceName);
    QCOMPARE(int(packet.priority), priority);
    QCOMPARE(int(packet.sequence), 0xFE);
    QCOMPARE(int(packet.options), options);
    QCOMPARE(int(packet.universe), universe);
    QCOMPARE(int(packet.startCode), startCode);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(packet.values), packet.slotCount), spelt.levels);
    QCOMPARE(reinterpret_cast<const char *>(packet.values), datagram.constData() + 126);
}

void tst_SacnPackets::buildersWriteTheWireImage()
{
    SacnBytes spelt;
    spelt.sequence = 0;
    spelt.universe = 0x0203;
    for (int slotCount : {0, 4, 512}) {
        spelt.levels = byteRamp(slotCount, 9, 2);
        SacnDataPacket packet = Sacn::dataPacket(Cid, QStringLiteral("test console"), 0x0203, slotCount, 9, 2);
        QCOMPARE(datagram(packet, Sacn::wireSize(packet)), spelt.datagram());
    }

    // Cut at a character boundary, with room for the terminating zero.
    const QString accented = QString(62, QLatin1Char('a')) + QChar(0xE9);
    const SacnDataPacket named = Sacn::dataPacket(Cid, accented, 1, 0);
    QCOMPARE(QByteArray(named.framing.sourceName, 64), QByteArray(62, 'a') + QByteArray(2, '\0'));

    // Fewer slots: the lengths follow, and the packet still reads.
    SacnDataPacket packet = Sacn::dataPacket(Cid, QStringLiteral("test console"), 0x0203, 512, 9, 2);
    Sacn::setSlotCount(packet, 4);
    spelt.levels = byteRamp(4, 9, 2);
    QCOMPARE(datagram(packet, Sacn::wireSize(packet)), spelt.datagram());

    // A source's last packet with only Stream_Terminated added.
    spelt.options = 0x40;
    const SacnDataPacket terminated = Sacn::terminatedPacket(packet);
    QCOMPARE(datagram(terminated, Sacn::wireSize(terminated)), spelt.datagram());
}

void tst_SacnPackets::extendedPacketsAreRecognised_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<Sacn::Parsed>("expected");

    using P = Sacn::Parsed;
    QTest::newRow("synchronisation spelt out") << synchronization(1) << P::Synchronization;
    QTest::newRow("synchronisation built") << datagram(Sacn::synchronizationPacket(Cid, 5, 7))
                                           << P::Synchronization;
    QTest::newRow("extended vector 3") << synchronization(3) << P::UnknownFramingVector;
    QByteArray longer = synchronization(1) + '\0';
    longer.replace(17, 1, bytes({50 - 16})).replace(39, 1, bytes({50 - 38}));
    QTest::newRow("synchronisation of 50 bytes") << longer << P::WrongFramingLength;

    const quint16 universes[512] = {1, 2, 7};
    const SacnDiscoveryPacket first = Sacn::discoveryPacket(Cid, QStringLiteral("desk"), 0, 0, universes, 3);
    const QByteArray three = datagram(first, Sacn::wireSize(first));
    QTest::newRow("discovery, 3 universes") << three << P::Discovery;
    const SacnDiscoveryPacket full = Sacn::discoveryPacket(Cid, QStringLiteral("desk"), 1, 1, universes, 512);
    QTest::newRow("discovery, 512 universes") << datagram(full, Sacn::wireSize(full)) << P::Discovery;
    QTest::newRow("discovery, list vector 2") << altered(three, 117, bytes({0x02})) << P::UnknownFramingVector;
    QTest::newRow("discovery, list length - 1") << altered(three, 113, bytes({126 - 112 - 1}))
                                                << P::WrongFramingLength;
}

void tst_SacnPackets::extendedPacketsAreRecognised()
{
    QFETCH(QByteArray, datagram);
    QFETCH(Sacn::Parsed, expected);
    QCOMPARE(parse(datagram), expected);
}

QTEST_GUILESS_MAIN(tst_SacnPackets)
#include "tst_sacnpackets.moc"
