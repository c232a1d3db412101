#include "addcolumns.h"
#include "artnetpackets.h"
#include "bytelist.h"
#include "wirebytes.h"

#include <QtTest>

#include <cstring>

namespace {

// "Art-Net" and its terminating zero, as every record begins.
QByteArray id()
{
    return QByteArray(ArtNet::Id, sizeof ArtNet::Id);
}

QByteArray field(const char *data, int size)
{
    return QByteArray(data, size);
}

} // namespace

class tst_ArtNetPackets : public QObject
{
    Q_OBJECT

private slots:
    void acceptsOnlyArtNetIdWithKnownOpCode_data();
    void acceptsOnlyArtNetIdWithKnownOpCode();
    void dmxFieldsReadInTheirWireByteOrder_data();
    void dmxFieldsReadInTheirWireByteOrder();
    void textFieldIsFilledLikeStrncpy_data();
    void textFieldIsFilledLikeStrncpy();
    void textFieldLeavesNeighboursUntouched();
};

void tst_ArtNetPackets::acceptsOnlyArtNetIdWithKnownOpCode_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("opCode");

    const QByteArray dmxTail = QByteArray(520, '\x11');
    QTest::newRow("ArtPoll") << id() + bytes({0x00, 0x20, 0x00, 0x0E, 0x00, 0x00}) << int(ArtNet::OpPoll);
    QTest::newRow("ArtPollReply") << id() + bytes({0x00, 0x21}) + QByteArray(229, '\0') << int(ArtNet::OpPollReply);
    QTest::newRow("ArtDmx") << id() + bytes({0x00, 0x50}) + dmxTail << int(ArtNet::OpDmx);
    QTest::newRow("20-byte ArtDmx") << id() + bytes({0x00, 0x50, 0x00, 0x0E, 0, 0, 0, 0, 0x02, 0x00, 0xFF, 0xFF})
                                    << int(ArtNet::OpDmx);
    QTest::newRow("id and opcode only") << id() + bytes({0x00, 0x50}) << int(ArtNet::OpDmx);
    QTest::newRow("id followed by non-zero byte") << QByteArray("Art-NetX") + bytes({0x00, 0x50}) + dmxTail << 0;
    QTest::newRow("upper case id") << QByteArray("ART-NET", 8) + bytes({0x00, 0x50}) + dmxTail << 0;
    QTest::newRow("id cut short") << QByteArray("Art-Ne") << 0;
    QTest::newRow("shorter id padded") << QByteArray("Art-Ne\0\0", 8) + bytes({0x00, 0x50}) << 0;
    QTest::newRow("opcode high byte first") << id() + bytes({0x20, 0x00, 0x00, 0x0E, 0x00, 0x00}) << 0;
    QTest::newRow("unknown opcode 0x6000") << id() + bytes({0x00, 0x60}) + dmxTail << 0;
    QTest::newRow("opcode cut in half") << id() + bytes({0x00}) << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void tst_ArtNetPackets::acceptsOnlyArtNetIdWithKnownOpCode()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, opCode);
    QCOMPARE(int(ArtNet::recordOpCode(datagram.constData(), datagram.size())), opCode);
}

void tst_ArtNetPackets::dmxFieldsReadInTheirWireByteOrder_data()
{
    addColumns<QByteArray>({"universeBytes", "lengthBytes"});
    addColumns<int>({"universe", "length"});

    // universe is low byte first, length high byte first.
    QTest::newRow("universe 1, length 512") << bytes({0x01, 0x00}) << bytes({0x02, 0x00}) << 1 << 512;
    QTest::newRow("universe 256, length 24") << bytes({0x00, 0x01}) << bytes({0x00, 0x18}) << 256 << 24;
    QTest::newRow("universe 0x1234, length 0x0102") << bytes({0x34, 0x12}) << bytes({0x01, 0x02}) << 0x1234 << 0x0102;
}

void tst_ArtNetPackets::dmxFieldsReadInTheirWireByteOrder()
{
    QFETCH(QByteArray, universeBytes);
    QFETCH(QByteArray, lengthBytes);
    QFETCH(int, universe);
    QFETCH(int, length);

    QByteArray datagram = id()
        + bytes({0x00, 0x50})       // opCode
        + bytes({0x00, 0x0E})       // protocolVersion
        + bytes({0x07})             // sequence
        + bytes({0x00})             // physical
        + universeBytes             // universe
        + lengthBytes               // length
        + QByteArray(512, '\x42');  // data
    QCOMPARE(datagram.size(), int(sizeof(ArtDmx)));
    ArtDmx dmx = recordFrom<ArtDmx>(datagram);
    QCOMPARE(int(dmx.universe), universe);
    QCOMPARE(int(dmx.length), length);
    QCOMPARE(int(dmx.sequence), 7);
    QCOMPARE(int(dmx.data[0]), 0x42);

    dmx.universe = quint16(universe);
    dmx.length = quint16(length);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&dmx), sizeof dmx), datagram);
}

void tst_ArtNetPackets::textFieldIsFilledLikeStrncpy_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    const QString twenty = QStringLiteral("ABCDEFGHIJKLMNOPQRST");
    QTest::newRow("empty") << QString() << QByteArray(18, '\0');
    QTest::newRow("9 characters") << QStringLiteral("Dorvantis") << QByteArray("Dorvantis") + QByteArray(9, '\0');
    QTest::newRow("17 characters") << twenty.left(17) << twenty.left(17).toLatin1() + QByteArray(1, '\0');
    QTest::newRow("18 characters, no terminator") << twenty.left(18) << twenty.left(18).toLatin1();
    QTest::newRow("20 characters, cut to 18") << twenty << twenty.left(18).toLatin1();
    QTest::newRow("Latin-1") << QStringLiteral("Gr\u00FC\u00DFe") << bytes({'G', 'r', 0xFC, 0xDF, 'e'}) + QByteArray(13, '\0');
    QTest::newRow("beyond Latin-1") << QStringLiteral("a\u65E5b") << QByteArray("a?b") + QByteArray(15, '\0');
    QTest::newRow("stops at an embedded zero") << QStringLiteral("ab") + QChar(0) + QStringLiteral("cd")
                                               << QByteArray("ab") + QByteArray(16, '\0');
}

void tst_ArtNetPackets::textFieldIsFilledLikeStrncpy()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);

    char shortName[ArtNet::ShortNameLength];
    std::memset(shortName, 0xAA, sizeof shortName); // what was there before must not survive
    ArtNet::setText(shortName, text);
    QCOMPARE(field(shortName, sizeof shortName), expected);
}

void tst_ArtNetPackets::textFieldLeavesNeighboursUntouched()
{
    ArtPollReply reply;
    std::memset(&reply, 0xAA, sizeof reply);
    ArtNet::setText(reply.shortName, QString(40, QLatin1Char('s')));
    ArtNet::setText(reply.longName, QString(70, QLatin1Char('l')));
    ArtNet::setText(reply.nodeReport, QStringLiteral("ok"));

    const QByteArray image = datagram(reply);
    QCOMPARE(image.mid(0, 26), QByteArray(26, '\xAA'));
    QCOMPARE(image.mid(26, 18), QByteArray(18, 's'));
    QCOMPARE(image.mid(44, 64), QByteArray(64, 'l'));
    QCOMPARE(image.mid(108, 64), QByteArray("ok") + QByteArray(62, '\0'));
    QCOMPARE(image.mid(172), QByteArray(239 - 172, '\xAA'));
}

QTEST_GUILESS_MAIN(tst_ArtNetPackets)
#include "tst_artnetpackets.moc"
