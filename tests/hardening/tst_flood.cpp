// 200,000 mixed datagrams into a running engine and mapper on loopback:
// well-formed ArtDmx for all 256 universes among truncated and oversized
// ones, foreign ids, unknown opcodes, random bytes of 0 to 1,500 bytes,
// universes beyond 255 and ArtPolls. The sender keeps a model of the area
// and, at the end, the area must match it byte for byte: every ArtDmx for a
// universe 0..255 that the engine read was written, and nothing else was.
// A heartbeat timer measures how long the event loop was kept from running.
//
// The sender paces itself in batches, each closed by a sentinel that it waits
// for, so the socket's queue never overflows; the kernel's drop count for the
// engine's socket is checked too.

#include "areamodel.h"
#include "artnetbytes.h"
#include "artnetengine.h"
#include "loopbacknode.h"
#include "portaddresses.h"
#include "quietdebug.h"
#include "runningunderwine.h"
#include "sentinelreply.h"
#include "sharedarea.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <random>
#include <memory>
#include <vector>

namespace {

const QHostAddress Local(QStringLiteral("127.0.0.1"));
constexpr quint16 EnginePort = 46600;
constexpr int DatagramCount = 200000;
constexpr int BatchSize = 64;
constexpr int HeartbeatMs = 5;
// Generous: machines running CI are shared and slow under sanitizers.
constexpr qint64 LongestBlockBoundMs = 250;
constexpr int HeaderBytes = int(AreaModel::HeaderBytes);
constexpr int ReceiveBufferBytes = int(AreaModel::ReceiveBufferBytes);

// What the sender expects the engine and the mapper to make of its datagrams.
struct Expectation
{
    std::vector<quint8> area;
    quint32 dmxPerUniverse[UniverseData::UniverseCount] = {};
    quint32 dmxBeyondUniverses = 0;
    quint32 shortDmx = 0;
    quint32 polls = 0;

    void account(const QByteArray &datagram)
    {
        const AreaModel::Effect effect = AreaModel::apply(
            area.data(), reinterpret_cast<const quint8 *>(datagram.constData()), std::size_t(datagram.size()));
        if (effect.kind == AreaModel::Kind::Poll)
            ++polls;
        else if (effect.kind == AreaModel::Kind::DmxBeyondRecords)
            ++dmxBeyondUniverses;
        else if (effect.kind == AreaModel::Kind::ShortDmx)
            ++shortDmx;
        else if (effect.kind == AreaModel::Kind::DmxForRecord)
            ++dmxPerUniverse[effect.universe];
    }
};

// The mix of datagrams, from a fixed seed so that a failure can be repeated.
class Generator
{
public:
    QByteArray next()
    {
        const int kind = int(random() % 100);
        if (kind < 50)
            return dmx(universe(), quint16(1 + random() % 512), ReceiveBufferBytes);
        if (kind < 55) // cut short anywhere, header included
            return dmx(universe(), quint16(random() % 513), 10 + int(random() % (ReceiveBufferBytes - 10)));
        if (kind < 60) // length beyond a record, some datagrams longer than the buffer
            return dmx(universe(), quint16(513 + random() % (65536 - 513)), 530 + int(random() % 971));
        if (kind < 68) // Net 1 and above
            return dmx(quint16(256 + random() % (65536 - 256)), quint16(random() % 513), ReceiveBufferBytes);
        if (kind < 76) { // one byte of the id wrong
            QByteArray d = dmx(universe(), 512, ReceiveBufferBytes);
            const int at = int(random() % 8);
            d[at] = char(d[at] ^ (1 + random() % 255));
            return d;
        }
        if (kind < 84) { // a valid id with an opcode the node does not know
            quint16 opCode;
            do
                opCode = quint16(random());
            while (opCode == ArtNet::OpPoll || opCode == ArtNet::OpPollReply || opCode == ArtNet::OpDmx);
            return ArtNetBytes::header(opCode) + bytes(int(random() % 600));
        }
        if (kind < 92)
            return bytes(int(random() % 1501));
        if (kind < 96)
            return ArtNetBytes::artPoll(quint8(random() & 0xff));
        QByteArray d = ArtNetBytes::header(ArtNet::OpPollReply); // not a sentinel: no report text
        return d + QByteArray(239 - d.size(), '\0');
    }

private:
    quint16 universe() { return quint16(random() % UniverseData::UniverseCount); }

    QByteArray bytes(int size)
    {
        QByteArray d(size, Qt::Uninitialized);
        for (char &c : d)
            c = char(random());
        return d;
    }

    QByteArray dmx(quint16 universe, quint16 length, int size)
    {
        const quint8 sequence = quint8(random());
        // The channels, and whatever trails them.
        const QByteArray channels = bytes(qMax(0, size - HeaderBytes));
        return ArtNetBytes::artDmx(universe, length, channels, sequence).left(size);
    }

    std::mt19937 random{20240607};
};

// Drops the kernel counted for the engine's socket, from /proc/net/udp;
// -1 where that table cannot be read.
qint64 socketDrops(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray local = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    qint64 drops = -1;
    table.readLine();
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        if (fields.size() > 12 && fields.at(1).endsWith(local))
            drops = qMax<qint64>(drops, 0) + fields.last().toLongLong();
    }
    return drops;
}

} // namespace

// Counts what the engine hands on, acknowledges the sender's sentinels and
// measures the gaps between heartbeats, all in the engine's thread.
class FloodObserver : public QObject
{
    Q_OBJECT

public:
    quint32 dmxPerUniverse[UniverseData::UniverseCount] = {};
    quint32 dmxBeyondUniverses = 0;
    quint32 polls = 0;
    std::atomic<quint32> acknowledged{0};
    std::atomic<quint16> senderPort{0};
    qint64 longestGapMs = 0;

    void startHeartbeat()
    {
        connect(&heartbeat, SIGNAL(timeout()), this, SLOT(beat()));
        heartbeat.start(HeartbeatMs);
        sinceBeat.start();
    }

public slots:
    void countDmx(const ArtDmx &packet, const QHostAddress &, const quint16 &)
    {
        const quint16 universe = packet.universe;
        if (universe < UniverseData::UniverseCount)
            ++dmxPerUniverse[universe];
        else
            ++dmxBeyondUniverses;
    }
    void countPoll(const ArtPoll &, const QHostAddress &, const quint16 &) { ++polls; }
    void noteReply(const ArtPollReply &packet, const QHostAddress &peer, const quint16 &port)
    {
        quint32 serial = 0;
        if (peer == Local && port == senderPort && SentinelReply::read(packet, &serial))
            acknowledged = serial;
    }

private slots:
    void beat()
    {
        longestGapMs = qMax(longestGapMs, sinceBeat.restart());
    }

private:
    QTimer heartbeat;
    QElapsedTimer sinceBeat;
};

class tst_Flood : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyDmxForAUniverseIsWrittenAndNothingElse();
};

void tst_Flood::initTestCase()
{
    qInstallMessageHandler(quietDebug);
}

void tst_Flood::everyDmxForAUniverseIsWrittenAndNothingElse()
{
    LoopbackNode node(EnginePort);
    ArtNetEngine &engine = node.engine;
    // As the program runs it: every ArtDmx is noted for GoodOutput, every
    // answered poll carries 64 bound replies.
    engine.setOutputUniverses(portAddresses(0, UniverseData::UniverseCount - 1));
    QVERIFY(node.start());
    FloodObserver observer;
    QVERIFY(connect(&engine, SIGNAL(receivedArtDmx(ArtDmx,QHostAddress,quint16)), &observer,
                    SLOT(countDmx(ArtDmx,QHostAddress,quint16))));
    QVERIFY(connect(&engine, SIGNAL(receivedArtPoll(ArtPoll,QHostAddress,quint16)), &observer,
                    SLOT(countPoll(ArtPoll,QHostAddress,quint16))));
    QVERIFY(connect(&engine, SIGNAL(receivedArtPollReply(ArtPollReply,QHostAddress,quint16)), &observer,
                    SLOT(noteReply(ArtPollReply,QHostAddress,quint16))));

    // A second handle on the area, as the driver library holds it.
    const SharedArea watcher(SharedArea::Mode::OpenRead);
    QVERIFY(watcher.isValid());
    const quint8 *area = watcher.bytes();

    Expectation expected;
    expected.area.assign(area, area + UniverseData::AreaSize);
    const qint64 dropsBefore = socketDrops(EnginePort);

    std::atomic<bool> senderStalled{false};
    std::atomic<int> sent{0};
    std::unique_ptr<QThread> sending(QThread::create([&] {
        QUdpSocket sender;
        if (!sender.bind(Local, 0)) {
            senderStalled = true;
            return;
        }
        observer.senderPort = sender.localPort();
        Generator generator;
        quint32 batch = 0;
        while (sent < DatagramCount && !senderStalled) {
            for (int i = 0; i < BatchSize && sent < DatagramCount; ++i, ++sent) {
                const QByteArray datagram = generator.next();
                expected.account(datagram);
                sender.writeDatagram(datagram, Local, EnginePort);
            }
            sender.writeDatagram(SentinelReply::make(++batch), Local, EnginePort);
            QElapsedTimer waited;
            waited.start();
            while (observer.acknowledged != batch) {
                if (waited.elapsed() > 20000) {
                    senderStalled = true;
                    break;
                }
                QThread::usleep(20);
            }
        }
    }));

    QElapsedTimer flood;
    flood.start();
    QEventLoop untilSent;
    connect(sending.get(), SIGNAL(finished()), &untilSent, SLOT(quit()));
    observer.startHeartbeat();
    sending->start();
    untilSent.exec();
    QVERIFY(sending->wait(60000));
    const qint64 floodMs = flood.elapsed();

    QVERIFY2(!senderStalled, "a sentinel did not come back: the engine stopped reading");
    QCOMPARE(sent.load(), DatagramCount);
    const qint64 dropsAfter = socketDrops(EnginePort);
    if (dropsBefore >= 0 && dropsAfter >= 0)
        QCOMPARE(dropsAfter - dropsBefore, qint64(0));

    for (int u = 0; u < UniverseData::UniverseCount; ++u) {
        QCOMPARE(observer.dmxPerUniverse[u], expected.dmxPerUniverse[u]);
        UniverseRecord record;
        std::memcpy(&record, area + u * UniverseData::RecordSize, sizeof record);
        UniverseRecord wanted;
        std::memcpy(&wanted, expected.area.data() + u * UniverseData::RecordSize, sizeof wanted);
        QCOMPARE(record.packetCount, wanted.packetCount);
        QCOMPARE(record.length, wanted.length);
        QVERIFY2(std::memcmp(&record, &wanted, sizeof record) == 0, qPrintable(QStringLiteral("universe %1").arg(u)));
    }
    QCOMPARE(observer.dmxBeyondUniverses, expected.dmxBeyondUniverses);
    QCOMPARE(engine.shortArtDmxCount(), quint64(expected.shortDmx));
    QCOMPARE(observer.polls, expected.polls);

    qInfo("%d datagrams in %lld ms; longest gap between %d ms heartbeats: %lld ms; socket drops: %lld",
          DatagramCount, floodMs, HeartbeatMs, observer.longestGapMs, dropsAfter - dropsBefore);
    // Under wine every timer and socket event passes through the wineserver,
    // whose scheduling on a shared machine says nothing about the engine.
    if (!runningUnderWine()) {
        QVERIFY2(observer.longestGapMs < LongestBlockBoundMs,
                 qPrintable(QStringLiteral("the event loop was blocked for %1 ms").arg(observer.longestGapMs)));
    }
}

QTEST_MAIN(tst_Flood)
#include "tst_flood.moc"
