// The receiver end to end: unicast over loopback, and multicast from a peer
// namespace over a veth pair (Linux; the pair exists only inside the test's
// own namespaces).

#include "portaddresses.h"
#include "quietdebug.h"
#include "sacnbytes.h"
#include "sacnreceiver.h"
#include "wirebytes.h"
#ifdef DORVANTIS_PEER_NETWORK
#include "igmpgroups.h"
#include "peernetwork.h"
#endif

#include <QElapsedTimer>
#include <QMap>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QHostAddress Local(QStringLiteral("127.0.0.1"));
const QHostAddress LocalEnd(QStringLiteral("192.168.77.2"));
const QHostAddress PeerEnd(QStringLiteral("192.168.77.1"));

QStringList sourceLines;

void recordSourceLines(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && message.startsWith(QLatin1String("sACN source")))
        sourceLines << message;
}

// Every write, connected by signature strings as the program connects its
// pipeline; outranked levels are no write.
class Recorder : public QObject
{
    Q_OBJECT

public:
    QMap<int, QByteArray> levels; // by universe, as last written
    int writes = 0;

    bool connectTo(SacnReceiver *receiver)
    {
        return connect(receiver, SIGNAL(receivedLevels(SacnLevels)), this, SLOT(onLevels(SacnLevels)));
    }

public slots:
    void onLevels(const SacnLevels &taken)
    {
        if (!taken.winning)
            return;
        levels[taken.universe] = QByteArray(reinterpret_cast<const char *>(taken.levels), taken.length);
        ++writes;
    }
};

// A started receiver on 127.0.0.1 and a console that sends to it.
struct LoopbackReceiver
{
    LoopbackReceiver(quint16 port, const QVector<quint16> &universes) : receiver(Local, port), port(port)
    {
        receiver.setUniverses(universes);
        started = recorder.connectTo(&receiver) && receiver.start() && console.bind(Local, 0);
    }

    void send(const QByteArray &datagram) { console.writeDatagram(datagram, Local, port); }

    SacnReceiver receiver;
    Recorder recorder;
    QUdpSocket console;
    const quint16 port;
    bool started;
};

SacnBytes levelsFor(int universe, const QByteArray &levels)
{
    SacnBytes packet;
    packet.universe = universe;
    packet.levels = levels;
    return packet;
}

} // namespace

class tst_SacnReceiver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unicastPacketsOfListedUniversesArrive();
    void sourcesAreReportedWhenTheyAppearAndLeave();
    void multicastPastThePerSocketLimitArrivesOnce_data();
    void multicastPastThePerSocketLimitArrivesOnce();
    void onlyTheMappedGroupsAreJoined();
};

void tst_SacnReceiver::initTestCase()
{
    // A line for every source: 256 of them in the multicast cases.
    qInstallMessageHandler(quietDebug);
}

void tst_SacnReceiver::unicastPacketsOfListedUniversesArrive()
{
    LoopbackReceiver node(46800, {1, 2, 3, 4});
    QVERIFY(node.started);
    const QByteArray ramp = byteRamp(512, 0);
    QByteArray wrongVector = levelsFor(3, "\x01").datagram();
    wrongVector[21] = 0x05;
    const Sacn::Cid cid = {};
    const quint16 listed[] = {1, 2};
    const SacnDiscoveryPacket discovery = Sacn::discoveryPacket(cid, QString(), 0, 0, listed, 2);

    node.send(levelsFor(2, ramp).datagram());                                           // listed
    node.send(wrongVector);                                                             // malformed
    node.send(datagram(Sacn::synchronizationPacket(cid, 1, 0)));                  // ignored
    node.send(datagram(discovery, Sacn::wireSize(discovery)));                    // ignored
    node.send(levelsFor(5, "\x02").datagram());                                         // not listed
    node.send(levelsFor(1, "\x03").datagram());                                         // listed
    QTRY_COMPARE(node.receiver.counters().datagrams, quint64(6));

    QCOMPARE(node.recorder.levels.keys(), QList<int>({1, 2}));
    QCOMPARE(node.recorder.levels[2], ramp);
    QCOMPARE(node.recorder.levels[1], QByteArray("\x03"));
    const SacnReceiver::Counters &counters = node.receiver.counters();
    QCOMPARE(counters[Sacn::Parsed::Data], quint64(3));
    QCOMPARE(counters[Sacn::Parsed::UnknownRootVector], quint64(1));
    QCOMPARE(counters.malformed(), quint64(1));
    QCOMPARE(counters[Sacn::Parsed::Synchronization], quint64(1));
    QCOMPARE(counters[Sacn::Parsed::Discovery], quint64(1));
    QCOMPARE(counters[SacnMerger::Outcome::Written], quint64(2));
    QCOMPARE(counters[SacnMerger::Outcome::NotMapped], quint64(1));
}

void tst_SacnReceiver::sourcesAreReportedWhenTheyAppearAndLeave()
{
    const QtMessageHandler previous = qInstallMessageHandler(recordSourceLines);
    sourceLines.clear();
    LoopbackReceiver node(46801, {1, 2});
    QVERIFY(node.started);

    SacnBytes desk = levelsFor(1, "\x10");
    desk.cid = QByteArray(16, '\xA1');
    desk.sourceName = "Desk A";
    desk.priority = 120;
    for (desk.sequence = 1; desk.sequence <= 3; ++desk.sequence)
        node.send(desk.datagram());
    desk.options = Sacn::OptionStreamTerminated;
    node.send(desk.datagram());
    SacnBytes backup = levelsFor(2, "\x20");
    backup.sourceName = QByteArray(64, 'b'); // fills the field
    node.send(backup.datagram());
    QElapsedTimer silent;
    silent.start();

    const QString deskText = QStringLiteral("\"Desk A\" CID a1a1a1a1-a1a1-a1a1-a1a1-a1a1a1a1a1a1 from 127.0.0.1, "
                                            "universe 1, priority 120");
    const QString backupText = QStringLiteral("\"%1\" CID 5a5a5a5a-5a5a-5a5a-5a5a-5a5a5a5a5a5a from 127.0.0.1, "
                                              "universe 2, priority 100").arg(QString(64, QLatin1Char('b')));
    QTRY_COMPARE(sourceLines.size(), 3);
    QCOMPARE(sourceLines, QStringList({"sACN source appeared: " + deskText, "sACN source left (terminated): " + deskText,
                                       "sACN source appeared: " + backupText}));
    QTRY_COMPARE_WITH_TIMEOUT(sourceLines.size(), 4, int(SacnMerger::NetworkDataLossMs) + 2000);
    QVERIFY(silent.elapsed() >= SacnMerger::NetworkDataLossMs);
    QCOMPARE(sourceLines.last(), "sACN source left (timed out): " + backupText);
    QCOMPARE(node.recorder.writes, 4);
    qInstallMessageHandler(previous);
}

void tst_SacnReceiver::multicastPastThePerSocketLimitArrivesOnce_data()
{
    QTest::addColumn<QString>("address");

    QTest::newRow("joined on the chosen address") << LocalEnd.toString();
    QTest::newRow("no address: the system's choice") << QString();
    QTest::newRow("address on no interface: the system's choice") << QStringLiteral("192.0.2.1");
}

void tst_SacnReceiver::multicastPastThePerSocketLimitArrivesOnce()
{
#ifndef DORVANTIS_PEER_NETWORK
    QSKIP("needs a peer network namespace (Linux)");
#else
    QFETCH(QString, address);
    const int limit = IgmpGroups::perSocketLimit();
    QVERIFY2(limit > 0 && limit < 256, "the system must cap the groups per socket below 256 for this test");

    PeerNetwork network(QStringLiteral("192.168.77.2/24"), QStringLiteral("192.168.77.1/24"));
    QVERIFY2(network.isReady(), qPrintable(network.error()));
    SacnReceiver receiver(QHostAddress(address), Sacn::Port);
    Recorder recorder;
    QVERIFY(recorder.connectTo(&receiver));
    receiver.setUniverses(portAddresses(1, 256));
    QVERIFY(receiver.start());
    QCOMPARE(receiver.joinedGroups(), 256);
    QCOMPARE(receiver.membershipSockets(), (256 + limit - 1) / limit);
    QCOMPARE(IgmpGroups::on(network.localInterface()).size(), 256);

    QUdpSocket console;
    QVERIFY2(network.bindInPeer(console, PeerEnd), qPrintable(network.error()));
    for (int universe = 1; universe <= 256; ++universe) {
        const QByteArray datagram = levelsFor(universe, bytes({universe & 0xFF, universe >> 8})).datagram();
        console.writeDatagram(datagram, QHostAddress(Sacn::multicastGroup(quint16(universe))), Sacn::Port);
    }
    // Behind everything sent, on the same socket: once it is written, any
    // datagram delivered twice would have been read too.
    SacnBytes last = levelsFor(1, "\xEE");
    last.sequence = 2;
    console.writeDatagram(last.datagram(), QHostAddress(Sacn::multicastGroup(1)), Sacn::Port);
    QTRY_COMPARE(recorder.levels.value(1), QByteArray("\xEE"));

    QCOMPARE(recorder.levels.size(), 256);
    for (int universe = 2; universe <= 256; ++universe)
        QCOMPARE(recorder.levels[universe], bytes({universe & 0xFF, universe >> 8}));
    QCOMPARE(receiver.counters().datagrams, quint64(257));
    QCOMPARE(recorder.writes, 257);
    QCOMPARE(IgmpGroups::perSocketLimit(), limit);
#endif
}

void tst_SacnReceiver::onlyTheMappedGroupsAreJoined()
{
#ifndef DORVANTIS_PEER_NETWORK
    QSKIP("needs a peer network namespace (Linux)");
#else
    PeerNetwork network(QStringLiteral("192.168.77.2/24"), QStringLiteral("192.168.77.1/24"));
    QVERIFY2(network.isReady(), qPrintable(network.error()));
    SacnReceiver receiver(LocalEnd, Sacn::Port);
    Recorder recorder;
    QVERIFY(recorder.connectTo(&receiver));
    receiver.setUniverses({1, 3});
    QVERIFY(receiver.start());
    QCOMPARE(IgmpGroups::on(network.localInterface()), QList<quint32>({0xEFFF0001, 0xEFFF0003}));

    QUdpSocket console;
    QVERIFY2(network.bindInPeer(console, PeerEnd), qPrintable(network.error()));
    const auto sendTo = [&](int universe, const QByteArray &levels) {
        console.writeDatagram(levelsFor(universe, levels).datagram(),
                              QHostAddress(Sacn::multicastGroup(quint16(universe))), Sacn::Port);
    };
    sendTo(2, "\x01"); // not listed: its group is not joined
    sendTo(3, "\x02");
    QTRY_COMPARE(recorder.levels.value(3), QByteArray("\x02"));
    QCOMPARE(receiver.counters().datagrams, quint64(1));

    // New universes: the old groups are left and the new ones joined.
    receiver.setUniverses({11, 13});
    QCOMPARE(IgmpGroups::on(network.localInterface()), QList<quint32>({0xEFFF000B, 0xEFFF000D}));
    sendTo(3, "\x03");
    sendTo(13, "\x04");
    QTRY_COMPARE(recorder.levels.value(13), QByteArray("\x04"));
    QCOMPARE(receiver.counters().datagrams, quint64(2));
#endif
}

QTEST_GUILESS_MAIN(tst_SacnReceiver)
#include "tst_sacnreceiver.moc"
