#include "addcolumns.h"
#include "artnetbytes.h"
#include "artnetengine.h"
#include "bytelist.h"
#include "datagrams.h"
#include "portaddresses.h"
#include "runningunderwine.h"
#include "wirebytes.h"

#include <QElapsedTimer>
#include <QUdpSocket>
#include <QtTest>

#include <cstring>
#include <memory>

// Every engine here that is started or sends is built for 127.0.0.1, so its
// broadcast address is 127.255.255.255 and nothing leaves the machine.
//
// Loopback layout for a test on port P: the engine holds 0.0.0.0:P; a
// listener holds 127.0.0.1:P and, being the more specific bind, receives
// every unicast to 127.0.0.1:P; another holds 127.255.255.255:P and receives
// the broadcasts. The test's peer sends from 127.0.0.1 to 127.0.0.2:P, which
// only the engine's wildcard bind matches, so a reply "to the sender's
// address on the engine's port" lands at the unicast listener.

namespace {

const QHostAddress Local(QStringLiteral("127.0.0.1"));
const QHostAddress EngineOnly(QStringLiteral("127.0.0.2"));
const QHostAddress LoopbackBroadcast(QStringLiteral("127.255.255.255"));

// Windows lets no socket bind a broadcast address (wine does, but then hands
// that socket the engine's datagrams too), so there broadcasts go unseen.
#ifdef Q_OS_WIN
constexpr bool BroadcastsObservable = false;
#else
constexpr bool BroadcastsObservable = true;
#endif

constexpr quint8 Style = 6;

using ArtNetBytes::artPoll;

QByteArray artPollReply()
{
    QByteArray d("Art-Net", 8);  // id
    d += '\x00';                 // opCode 0x2100
    d += '\x21';
    d += QByteArray(229, '\0');  // the rest of the 239 bytes
    return d;
}

// An ArtDmx of `size` bytes whose length field says `length` and whose
// channel data is `fill` throughout.
QByteArray artDmx(quint16 universe, quint16 length, char fill, int size = int(sizeof(ArtDmx)))
{
    ArtDmx packet = ArtNet::artDmx(universe, length, quint8(fill));
    packet.sequence = 1;
    const QByteArray d = datagram(packet, size);
    return d + QByteArray(qMax(0, size - d.size()), fill); // an oversized one goes on with data
}

const QVector<quint16> AllUniverses = portAddresses(0, 255);

QByteArray boundImage(const ArtNetEngine &engine, int index)
{
    return datagram(engine.boundPollReply(index));
}

// Records what the engine emits, connected by signature strings the way the
// rest of the program connects to the engine.
class Recorder : public QObject
{
    Q_OBJECT

public:
    QStringList events;
    QList<QByteArray> dmx;
    QHostAddress pollPeer;
    quint16 pollPeerPort = 0;
    QUdpSocket *replyWatch = nullptr;
    bool replyWasQueued = false;

    bool connectTo(ArtNetEngine *engine)
    {
        return connect(engine, SIGNAL(receivedArtPoll(ArtPoll,QHostAddress,quint16)),
                       this, SLOT(onArtPoll(ArtPoll,QHostAddress,quint16)))
            && connect(engine, SIGNAL(receivedArtPollReply(ArtPollReply,QHostAddress,quint16)),
                       this, SLOT(onArtPollReply(ArtPollReply,QHostAddress,quint16)))
            && connect(engine, SIGNAL(receivedArtDmx(ArtDmx,QHostAddress,quint16)),
                       this, SLOT(onArtDmx(ArtDmx,QHostAddress,quint16)));
    }

    int count(const QString &event) const { return int(events.count(event)); }

public slots:
    void onArtPoll(const ArtPoll &, const QHostAddress &peer, const quint16 &port)
    {
        record(QStringLiteral("poll"));
        pollPeer = peer;
        pollPeerPort = port;
        if (replyWatch)
            replyWasQueued = replyWatch->hasPendingDatagrams();
    }

    void onArtPollReply(const ArtPollReply &, const QHostAddress &, const quint16 &)
    {
        record(QStringLiteral("reply"));
    }

    void onArtDmx(const ArtDmx &packet, const QHostAddress &, const quint16 &)
    {
        dmx.append(datagram(packet));
        record(QStringLiteral("dmx"));
    }

    // Runs only once the event loop is back: marks where a drain ended.
    void drainEnded() { events.append(QStringLiteral("|")); }

private:
    void record(const QString &event)
    {
        events.append(event);
        QMetaObject::invokeMethod(this, "drainEnded", Qt::QueuedConnection);
    }
};

// A started engine on `port` with the listeners and the peer described above.
struct Loopback
{
    explicit Loopback(quint16 port, bool autoReply = true)
        : port(port), engine(new ArtNetEngine(Local, port, Style, autoReply))
    {
    }

    bool open()
    {
        const auto shared = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
        return engine->start() && recorder.connectTo(engine.get()) && unicast.bind(Local, port, shared)
            && (!BroadcastsObservable || broadcast.bind(LoopbackBroadcast, port, shared)) && peer.bind(Local, 0);
    }

    void sendToEngine(const QByteArray &datagram)
    {
        peer.writeDatagram(datagram, EngineOnly, port);
    }

    quint16 port;
    std::unique_ptr<ArtNetEngine> engine;
    Recorder recorder;
    QUdpSocket unicast;
    QUdpSocket broadcast;
    QUdpSocket peer;
};

} // namespace

class tst_ArtNetEngine : public QObject
{
    Q_OBJECT

private slots:
    void ownPollReplyImage();
    void boundReplyImage_data();
    void boundReplyImage();
    void namesAreWrittenIntoTheNextReply();
    void broadcastAddressKeepsHostBitsSet_data();
    void broadcastAddressKeepsHostBitsSet();

    void pollIsAnsweredBeforeItIsReported_data();
    void pollIsAnsweredBeforeItIsReported();
    void pollWithoutAutoReplyIsOnlyReported();
    void forgedPollStreamGetsFewWholeAnswersAndControllersTheirs();
    void goodOutputShowsPortsWithRecentData();
    void targetedPollIsAnsweredForItsRangeOnly_data();
    void targetedPollIsAnsweredForItsRangeOnly();

    void queuedDatagramsAreHandledInOneDrainInOrder();
    void shortArtDmxCarriesNoStaleBytes_data();
    void shortArtDmxCarriesNoStaleBytes();
    void stallAtFullLoadLosesNothing();

    void sendSlotsWriteWholeRecordsToTheEnginePort();

    void startFailsWhenPortIsHeldExclusively();
    void destructionReleasesThePort();
};

void tst_ArtNetEngine::ownPollReplyImage()
{
    // Built for a 2.x address to check the image only; this engine never starts or sends.
    ArtNetEngine engine(QHostAddress(QStringLiteral("2.0.0.10")), 6454, Style, true);

    QByteArray expected(239, '\0');
    const unsigned char head[] = {
        'A', 'r', 't', '-', 'N', 'e', 't', 0, // id
        0x00, 0x21,                           // opCode 0x2100, low byte first
        0x02, 0x00, 0x00, 0x0A,               // ipAddress 2.0.0.10
        0x36, 0x19,                           // port 6454, low byte first
        0x00, 0x00,                           // versionInfo
        0x00, 0x00,                           // subSwitch
        0x00, 0xFF,                           // oem 0x00FF, high byte first
        0x00,                                 // ubeaVersion
        0x00,                                 // status
        0x00, 0x00,                           // estaManufacturer
    };
    std::memcpy(expected.data(), head, sizeof head);
    expected.replace(26, 14, "Veldara ArtNet");        // shortName
    expected.replace(44, 21, "Veldara ArtNet Engine"); // longName
    expected[200] = char(Style);                       // style

    QCOMPARE(datagram(engine.ownPollReply()), expected);
    // Offering universes adds bound replies and leaves this one as it is.
    engine.setOutputUniverses(AllUniverses);
    QCOMPARE(datagram(engine.ownPollReply()), expected);
}

void tst_ArtNetEngine::boundReplyImage_data()
{
    QTest::addColumn<QList<int>>("outputs"); // empty: all 256
    addColumns<int>({"replies", "index"});
    QTest::addColumn<QByteArray>("netSubNet"); // bytes 18, 19
    QTest::addColumn<int>("ports");
    QTest::addColumn<QByteArray>("swOut");     // bytes 190-193

    const QList<int> all;
    QTest::newRow("universe 0") << all << 64 << 0 << bytes({0, 0}) << 4 << bytes({0, 1, 2, 3});
    QTest::newRow("universe 15") << all << 64 << 3 << bytes({0, 0}) << 4 << bytes({12, 13, 14, 15});
    QTest::newRow("universe 16") << all << 64 << 4 << bytes({0, 1}) << 4 << bytes({0, 1, 2, 3});
    QTest::newRow("universe 255") << all << 64 << 63 << bytes({0, 15}) << 4 << bytes({12, 13, 14, 15});
    QTest::newRow("32 alone after 0-15") << QList<int>{32, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}
                                         << 5 << 4 << bytes({0, 2}) << 1 << bytes({0, 0, 0, 0});
    QTest::newRow("Net 18, Sub-Net 3") << QList<int>{0x1234, 0x1236, 0x1235, 0x8000}
                                       << 1 << 0 << bytes({0x12, 3}) << 3 << bytes({4, 5, 6, 0});
}

void tst_ArtNetEngine::boundReplyImage()
{
    QFETCH(QList<int>, outputs);
    QFETCH(int, replies);
    QFETCH(int, index);
    QFETCH(QByteArray, netSubNet);
    QFETCH(int, ports);
    QFETCH(QByteArray, swOut);

    // Built for a 2.x address to check the image only; this engine never starts or sends.
    ArtNetEngine engine(QHostAddress(QStringLiteral("2.0.0.10")), 6454, Style, true);
    engine.setShortName(QStringLiteral("Dorvantis"));
    QVector<quint16> addresses = AllUniverses;
    if (!outputs.isEmpty()) {
        addresses.clear();
        for (int a : outputs)
            addresses << quint16(a);
    }
    engine.setOutputUniverses(addresses);
    const QByteArray own = datagram(engine.ownPollReply());
    QCOMPARE(engine.boundPollReplyCount(), replies);

    // The own reply with the ports, the binding and Status2 filled in.
    QByteArray expected = own;
    expected.replace(18, 2, netSubNet);                              // NetSwitch, SubSwitch
    expected[172] = '\x00';                                          // NumPorts, high byte first
    expected[173] = char(ports);
    expected.replace(174, ports, QByteArray(ports, '\x80'));          // PortTypes: output, DMX512
    expected.replace(190, 4, swOut);                                 // SwOut
    expected.replace(207, 4, bytes({2, 0, 0, 10}));                  // BindIp 2.0.0.10
    expected[211] = char(2 + index);                                 // BindIndex, the own reply is the root
    expected[212] = '\x08';                                          // Status2: 15-bit Port-Addresses
    QCOMPARE(boundImage(engine, index), expected);
}

void tst_ArtNetEngine::namesAreWrittenIntoTheNextReply()
{
    ArtNetEngine engine(QHostAddress(QStringLiteral("2.0.0.10")), 6454, Style, true);
    const QByteArray before = datagram(engine.ownPollReply());

    engine.setShortName(QStringLiteral("Dorvantis"));
    engine.setLongName(QStringLiteral("Veldara Dorvantis 1.3"));
    engine.setNodeReport(QString(70, QLatin1Char('r')));
    engine.setNetmask(QStringLiteral("255.255.0.0"));

    QByteArray expected = before;
    expected.replace(26, 18, QByteArray("Dorvantis") + QByteArray(9, '\0'));
    expected.replace(44, 64, QByteArray("Veldara Dorvantis 1.3") + QByteArray(43, '\0'));
    expected.replace(108, 64, QByteArray(64, 'r'));
    QCOMPARE(datagram(engine.ownPollReply()), expected);

    engine.setShortName(QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
    QCOMPARE(datagram(engine.ownPollReply()).mid(26, 18), QByteArray("ABCDEFGHIJKLMNOPQR"));
}

void tst_ArtNetEngine::broadcastAddressKeepsHostBitsSet_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("netmask"); // empty: the mask set at construction
    QTest::addColumn<QString>("broadcast");

    QTest::newRow("2.0.0.10") << "2.0.0.10" << QString() << "2.255.255.255";
    QTest::newRow("192.168.1.20") << "192.168.1.20" << QString() << "192.255.255.255";
    QTest::newRow("loopback") << "127.0.0.1" << QString() << "127.255.255.255";
    QTest::newRow("/24 mask") << "192.168.1.20" << "255.255.255.0" << "192.168.1.255";
    QTest::newRow("not an address") << "no address" << QString() << "0.255.255.255";
}

void tst_ArtNetEngine::broadcastAddressKeepsHostBitsSet()
{
    QFETCH(QString, address);
    QFETCH(QString, netmask);
    QFETCH(QString, broadcast);

    ArtNetEngine engine{QHostAddress(address), 6454, Style, true};
    if (!netmask.isEmpty())
        engine.setNetmask(netmask);
    QCOMPARE(engine.broadcastAddress(), QHostAddress(broadcast));
}

void tst_ArtNetEngine::pollIsAnsweredBeforeItIsReported_data()
{
    QTest::addColumn<int>("talkToMe");
    QTest::addColumn<bool>("toSender");

    QTest::newRow("bit 0 set") << 0x01 << true;
    QTest::newRow("bit 0 set among others") << 0x07 << true;
    QTest::newRow("no bits") << 0x00 << false;
    QTest::newRow("bit 0 clear, bit 1 set") << 0x02 << false;
}

void tst_ArtNetEngine::pollIsAnsweredBeforeItIsReported()
{
    QFETCH(int, talkToMe);
    QFETCH(bool, toSender);
    if (!toSender && !BroadcastsObservable)
        QSKIP("broadcasts cannot be observed here");

    Loopback net(46000);
    QVERIFY(net.open());
    net.engine->setOutputUniverses(portAddresses(0, 7));
    QUdpSocket &replyAt = toSender ? net.unicast : net.broadcast;
    QUdpSocket &nothingAt = toSender ? net.broadcast : net.unicast;
    net.recorder.replyWatch = &replyAt;

    net.sendToEngine(artPoll(quint8(talkToMe)));
    QTRY_COMPARE(net.recorder.count(QStringLiteral("poll")), 1);

    QVERIFY(net.recorder.replyWasQueued);
    QCOMPARE(net.recorder.pollPeer, Local);
    QCOMPARE(net.recorder.pollPeerPort, net.peer.localPort());

    QHostAddress from;
    quint16 fromPort = 0;
    QByteArray reply(int(replyAt.pendingDatagramSize()), '\0');
    replyAt.readDatagram(reply.data(), reply.size(), &from, &fromPort);
    QCOMPARE(reply.size(), 239);
    QCOMPARE(reply, datagram(net.engine->ownPollReply()));
    QCOMPARE(fromPort, net.port);
    // Then, to the same place, the bound replies for universes 0-3 and 4-7.
    QCOMPARE(takeDatagrams(replyAt),
             QList<QByteArray>({boundImage(*net.engine, 0), boundImage(*net.engine, 1)}));
    QVERIFY(!nothingAt.hasPendingDatagrams());
}

void tst_ArtNetEngine::pollWithoutAutoReplyIsOnlyReported()
{
    Loopback net(46001, false);
    QVERIFY(net.open());

    net.sendToEngine(artPoll(0x01));
    net.sendToEngine(artPoll(0x00));
    QTRY_COMPARE(net.recorder.count(QStringLiteral("poll")), 2);
    // A reply would already be queued on loopback by now.
    QVERIFY(!net.unicast.hasPendingDatagrams());
    QVERIFY(!net.broadcast.hasPendingDatagrams());

    net.engine->setAutoReply(true);
    net.sendToEngine(artPoll(0x01));
    QTRY_VERIFY(net.unicast.hasPendingDatagrams());
}

void tst_ArtNetEngine::forgedPollStreamGetsFewWholeAnswersAndControllersTheirs()
{
    Loopback net(46002);
    QVERIFY(net.open());
    net.engine->setOutputUniverses(AllUniverses);
    constexpr int AnswerSize = 1 + 64;
    // Room for the few answers that get through: about 1.3 KB of queue each reply.
    net.unicast.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);

    // Polls that ask for replies to 127.0.0.1, as if a third party there had sent them.
    constexpr int Polls = 200;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Polls; ++i)
        net.sendToEngine(artPoll(0x01));
    QTRY_COMPARE(net.recorder.count(QStringLiteral("poll")), Polls);
    const qint64 elapsed = timer.elapsed();

    const int forgedReplies = takeDatagrams(net.unicast).size();
    QCOMPARE(forgedReplies % AnswerSize, 0);
    const int answers = forgedReplies / AnswerSize;
    QVERIFY2(answers >= ArtNetEngine::PollAnswerBurst, qPrintable(QString::number(answers)));
    QVERIFY2(answers <= ArtNetEngine::PollAnswerBurst + elapsed * ArtNetEngine::PollAnswersPerSecond / 1000 + 1,
             qPrintable(QString::number(answers)));

    if (runningUnderWine())
        QSKIP("wine binds a socket for 127.0.0.3 to every address: no controller of its own there");
    // A controller elsewhere is answered in full all the same.
    QUdpSocket controller;
    QVERIFY(controller.bind(QHostAddress(QStringLiteral("127.0.0.3")), net.port,
                            QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    controller.writeDatagram(artPoll(0x01), EngineOnly, net.port);
    QTRY_COMPARE(net.recorder.count(QStringLiteral("poll")), Polls + 1);
    const QList<QByteArray> answer = takeDatagrams(controller);
    QCOMPARE(answer.size(), AnswerSize);
    QCOMPARE(answer.first(), datagram(net.engine->ownPollReply()));
}

void tst_ArtNetEngine::goodOutputShowsPortsWithRecentData()
{
    Loopback net(46009);
    QVERIFY(net.open());
    net.engine->setOutputUniverses(portAddresses(16, 19));

    net.sendToEngine(artDmx(17, 512, '\x11'));
    net.sendToEngine(artDmx(21, 512, '\x21')); // offered to nobody
    QTRY_COMPARE(net.recorder.count(QStringLiteral("dmx")), 2);

    const auto goodOutput = [&] {
        const ArtPollReply reply = net.engine->boundPollReply(0);
        return QByteArray(reinterpret_cast<const char *>(reply.goodOutput), 4);
    };
    QCOMPARE(goodOutput(), QByteArray("\x00\x80\x00\x00", 4));
    // Bit 3 while a port merges two sources; bit 1 for LTP as the merge mode.
    net.engine->setOutputMerging(17, true);
    net.engine->setOutputMerging(18, true);
    net.engine->setOutputMerging(21, true); // offered to nobody
    QCOMPARE(goodOutput(), QByteArray("\x00\x88\x08\x00", 4));
    net.engine->setMergeLtp(true);
    net.engine->setOutputMerging(18, false);
    QCOMPARE(goodOutput(), QByteArray("\x02\x8A\x02\x02", 4));
}

void tst_ArtNetEngine::targetedPollIsAnsweredForItsRangeOnly_data()
{
    addColumns<int>({"flags", "bottom", "top"});
    QTest::addColumn<bool>("rangeSent");
    QTest::addColumn<QList<int>>("boundReplies"); // -1 alone: no answer at all

    // The node offers Port-Addresses 16-19 (bound reply 0) and 256-259 (1).
    const int targeted = ArtNet::PollTargetedMode | 0x01;
    QTest::newRow("not targeted, range ignored") << 0x01 << 0 << 0 << true << QList<int>{0, 1};
    QTest::newRow("one Port-Address of the first") << targeted << 16 << 16 << true << QList<int>{0};
    QTest::newRow("below every Port-Address") << targeted << 0 << 15 << true << QList<int>{-1};
    QTest::newRow("between the two") << targeted << 20 << 255 << true << QList<int>{-1};
    QTest::newRow("into the second") << targeted << 257 << 300 << true << QList<int>{1};
    QTest::newRow("everything") << targeted << 0 << 32767 << true << QList<int>{0, 1};
    QTest::newRow("bottom above top") << targeted << 300 << 0 << true << QList<int>{-1};
    QTest::newRow("too short to name a range") << targeted << 0 << 0 << false << QList<int>{0, 1};
}

void tst_ArtNetEngine::targetedPollIsAnsweredForItsRangeOnly()
{
    QFETCH(int, flags);
    QFETCH(int, bottom);
    QFETCH(int, top);
    QFETCH(bool, rangeSent);
    QFETCH(QList<int>, boundReplies);

    Loopback net(46010);
    QVERIFY(net.open());
    net.engine->setOutputUniverses(portAddresses(16, 19) + portAddresses(256, 259));
    QByteArray poll = artPoll(quint8(flags));
    if (rangeSent)
        poll += bytes({top >> 8, top & 0xFF, bottom >> 8, bottom & 0xFF});
    net.sendToEngine(poll);
    // Behind it, a poll that is always answered in full: the first datagrams
    // that arrive are what the targeted poll got.
    net.sendToEngine(artPoll(0x01));
    QTRY_COMPARE(net.recorder.count(QStringLiteral("poll")), 2);

    QList<QByteArray> expected;
    if (boundReplies != QList<int>{-1}) {
        expected << datagram(net.engine->ownPollReply());
        for (int index : boundReplies)
            expected << boundImage(*net.engine, index);
    }
    expected << datagram(net.engine->ownPollReply()) << boundImage(*net.engine, 0)
             << boundImage(*net.engine, 1);
    QCOMPARE(takeDatagrams(net.unicast), expected);
}

void tst_ArtNetEngine::queuedDatagramsAreHandledInOneDrainInOrder()
{
    Loopback net(46003);
    QVERIFY(net.open());

    net.sendToEngine(artDmx(3, 512, '\x33'));
    net.sendToEngine(QByteArray("not Art-Net at all, just some bytes"));
    net.sendToEngine(artPollReply());
    QByteArray unknown = artPollReply();
    unknown[9] = '\x60'; // opcode 0x6000
    net.sendToEngine(unknown);
    net.sendToEngine(artDmx(4, 512, '\x44'));

    QTRY_COMPARE(net.recorder.events.size(), 6);
    QCOMPARE(net.recorder.events,
             QStringList({"dmx", "reply", "dmx", "|", "|", "|"}));
    QCOMPARE(int(reinterpret_cast<const ArtDmx *>(net.recorder.dmx[0].constData())->universe), 3);
    QCOMPARE(int(reinterpret_cast<const ArtDmx *>(net.recorder.dmx[1].constData())->universe), 4);
    QVERIFY(!net.unicast.hasPendingDatagrams());
    QVERIFY(!net.broadcast.hasPendingDatagrams());
}

void tst_ArtNetEngine::shortArtDmxCarriesNoStaleBytes_data()
{
    addColumns<int>({"size", "statedLength", "passedLength"});

    QTest::newRow("20 bytes claiming 512") << 20 << 512 << 2;
    QTest::newRow("header only claiming 512") << 18 << 512 << 0;
    QTest::newRow("10 bytes: id and opcode only") << 10 << 0 << -1;
    QTest::newRow("17 bytes, cut inside the length") << 17 << 512 << -1;
    QTest::newRow("100 bytes claiming 50") << 100 << 50 << 50;
    QTest::newRow("full, claiming 24") << 530 << 24 << 24;
    QTest::newRow("full, claiming 600") << 530 << 600 << 512;
    QTest::newRow("oversized, cut by the read") << 700 << 512 << 512;
}

void tst_ArtNetEngine::shortArtDmxCarriesNoStaleBytes()
{
    QFETCH(int, size);
    QFETCH(int, statedLength);
    QFETCH(int, passedLength);

    Loopback net(46004);
    QVERIFY(net.open());

    net.sendToEngine(artDmx(0x0102, 512, '\xAA'));
    net.sendToEngine(artDmx(7, quint16(statedLength), '\x55', size));
    net.sendToEngine(artDmx(9, 1, '\x99')); // once it is seen, the one before was read
    QTRY_VERIFY(!net.recorder.dmx.isEmpty()
                && reinterpret_cast<const ArtDmx *>(net.recorder.dmx.last().constData())->universe == 9);

    // Without the whole header there is no universe or length: no ArtDmx.
    QCOMPARE(net.engine->shortArtDmxCount(), quint64(passedLength < 0 ? 1 : 0));
    QCOMPARE(net.recorder.dmx.size(), passedLength < 0 ? 2 : 3);
    if (passedLength < 0)
        return;
    const QByteArray &received = net.recorder.dmx[1];
    const auto *dmx = reinterpret_cast<const ArtDmx *>(received.constData());
    const int arrived = qBound(0, size - 18, 512);
    QCOMPARE(int(dmx->length), passedLength);
    QCOMPARE(received.mid(18, arrived), QByteArray(arrived, '\x55'));
    QCOMPARE(received.mid(18 + arrived), QByteArray(512 - arrived, '\0'));
    QCOMPARE(int(dmx->universe), 7);
}

void tst_ArtNetEngine::stallAtFullLoadLosesNothing()
{
    Loopback net(46005);
    QVERIFY(net.open());

    // 100 ms of 256 universes at 44 Hz arriving while the event loop is busy.
    constexpr int Datagrams = 1127;
    // Loopback charges a 530-byte datagram about 1.3 KB of the receive queue.
    constexpr qint64 ChargePerDatagram = 1536;
    QUdpSocket probe;
    QVERIFY(probe.bind(Local, 0));
    probe.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 64 * 1024 * 1024);
    const qint64 systemLimit = probe.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toLongLong();
    if (systemLimit < Datagrams * ChargePerDatagram)
        QSKIP(qPrintable(QStringLiteral("the system grants at most %1 bytes of receive buffer").arg(systemLimit)));
    QVERIFY(net.engine->receiveBufferSize() >= Datagrams * ChargePerDatagram);

    for (int i = 0; i < Datagrams; ++i)
        net.sendToEngine(artDmx(quint16(i % 256), 512, char(i)));
    QTRY_COMPARE(net.recorder.count(QStringLiteral("dmx")), Datagrams);
}

void tst_ArtNetEngine::sendSlotsWriteWholeRecordsToTheEnginePort()
{
    Loopback net(46006);
    QVERIFY(net.open());
    ArtNetEngine &engine = *net.engine;

    // A short length still goes out with all 512 channels.
    const QByteArray dmxBytes = artDmx(9, 24, '\x24');
    const ArtDmx dmx = recordFrom<ArtDmx>(dmxBytes);

    if (BroadcastsObservable) {
        engine.sendArtDmx(dmx, QHostAddress());
        QCOMPARE(nextDatagram(net.broadcast), dmxBytes);
    }

    engine.sendArtDmx(dmx, Local);
    QCOMPARE(nextDatagram(net.unicast), dmxBytes);

    engine.sendArtPoll(Local, true);
    QCOMPARE(nextDatagram(net.unicast), artPoll(0x01));

    engine.sendArtPoll(Local, false);
    QCOMPARE(nextDatagram(net.unicast), artPoll(0x00));

    const QByteArray pollBytes = artPoll(0xF3);
    const ArtPoll poll = recordFrom<ArtPoll>(pollBytes);
    if (BroadcastsObservable) {
        engine.sendArtPoll(poll, QHostAddress());
        QCOMPARE(nextDatagram(net.broadcast), pollBytes);
    }

    engine.sendArtPollReply(engine.ownPollReply(), Local);
    QCOMPARE(nextDatagram(net.unicast), datagram(engine.ownPollReply()));
}

void tst_ArtNetEngine::startFailsWhenPortIsHeldExclusively()
{
    const quint16 port = 46007;
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress(QHostAddress::AnyIPv4), port, QUdpSocket::DontShareAddress));

    ArtNetEngine engine(Local, port, Style, true);
    Recorder recorder;
    QVERIFY(recorder.connectTo(&engine));
    QVERIFY(!engine.start());
    QCOMPARE(engine.receiveBufferSize(), qint64(0));

    QUdpSocket peer;
    peer.writeDatagram(artPoll(0x01), Local, port);
    peer.writeDatagram(artDmx(1, 512, '\x01'), Local, port);
    QTRY_VERIFY(holder.hasPendingDatagrams());
    QCoreApplication::processEvents();
    QVERIFY(recorder.events.isEmpty());
}

void tst_ArtNetEngine::destructionReleasesThePort()
{
    const quint16 port = 46008;
    {
        ArtNetEngine engine(Local, port, Style, true);
        QVERIFY(engine.start());
        QUdpSocket exclusive;
        QVERIFY(!exclusive.bind(QHostAddress(QHostAddress::AnyIPv4), port, QUdpSocket::DontShareAddress));
    }
    QUdpSocket exclusive;
    QVERIFY(exclusive.bind(QHostAddress(QHostAddress::AnyIPv4), port, QUdpSocket::DontShareAddress));
}

QTEST_GUILESS_MAIN(tst_ArtNetEngine)
#include "tst_artnetengine.moc"
