// The receive pipeline as the program builds it, on loopback: Art-Net from
// three senders (127.0.0.2-4) into one universe, with each merge mode, read
// back from the area as the driver library sees it. The merge's clock is the
// test's own.

#include "artnetbytes.h"
#include "bytelist.h"
#include "loopbacknode.h"
#include "nodestatereader.h"
#include "quietdebug.h"
#include "sharedarea.h"

#include <QUdpSocket>
#include <QtTest>

namespace {

constexpr quint16 NodePort = 46900;
constexpr int Universe = 5; // bound reply 1, port 1

class tst_ReceivePipeline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(quietDebug); }
    void artNetSendersShareAUniverseAsTheMergeModeSays_data();
    void artNetSendersShareAUniverseAsTheMergeModeSays();
    void publishedStateNamesSourcesAndWhatReachedNoRecord();
};

} // namespace

void tst_ReceivePipeline::artNetSendersShareAUniverseAsTheMergeModeSays_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("merged"); // after A, B, the third C, and A again
    QTest::addColumn<int>("merging");       // GoodOutput bits while two sources merge

    QTest::newRow("latest wins") << int(ArtNetMerge::Mode::Latest) << bytes({10, 200, 31}) << 0;
    QTest::newRow("htp") << int(ArtNetMerge::Mode::Htp) << bytes({50, 200, 31}) << 0x08;
    QTest::newRow("ltp") << int(ArtNetMerge::Mode::Ltp) << bytes({50, 100, 31}) << 0x0A;
}

void tst_ReceivePipeline::artNetSendersShareAUniverseAsTheMergeModeSays()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, merged);
    QFETCH(int, merging);

    ReceiveOptions options = LoopbackNode::onLoopback();
    options.artNetMerge = ArtNetMerge::Mode(mode);
    LoopbackNode node(NodePort, options);
    qint64 now = 0;
    node.pipeline.setClock([&now] { return now; });
    QVERIFY(node.start());
    const SharedArea area(SharedArea::Mode::OpenRead);
    QVERIFY(area.isValid());
    const UniverseRecord &record = area.record(Universe);

    QUdpSocket senders[3];
    for (int i = 0; i < 3; ++i)
        QVERIFY(senders[i].bind(QHostAddress(0x7F000002u + quint32(i)), 0));
    // Sends from sender `from` at `at` ms; once a later packet has been
    // written, every earlier one has been read.
    quint32 written = 0;
    const auto send = [&](int from, const QByteArray &levels, qint64 at, bool writes = true) {
        now = at;
        senders[from].writeDatagram(ArtNetBytes::artDmx(Universe, quint16(levels.size()), levels), QHostAddress::LocalHost,
                                   NodePort);
        if (!writes)
            return;
        ++written;
        QTRY_COMPARE(record.packetCount, written);
    };
    const auto levels = [&] { return QByteArray(reinterpret_cast<const char *>(record.data), record.length); };
    const auto goodOutput = [&] { return int(node.engine.boundPollReply(1).goodOutput[1]); };

    const bool merges = merging != 0;
    send(0, bytes({10, 200, 30}), 0);
    send(1, bytes({50, 100}), 1);
    send(2, bytes({255, 255, 255}), 2, !merges);
    send(0, bytes({10, 200, 31}), 3);
    QCOMPARE(levels(), merged);
    QCOMPARE(goodOutput(), 0x80 | merging);

    // The first sender falls silent; 10 s on, the merge ends and the third may join.
    send(1, bytes({50, 100}), 5000);
    now = 3 + ArtNetMerge::SourceTimeoutMs;
    QTRY_COMPARE(goodOutput() & ArtNet::GoodOutputMerging, 0);
    QCOMPARE(goodOutput(), 0x80 | (merging & ArtNet::GoodOutputMergeLtp));
    send(2, bytes({255, 255, 255}), now);
    QCOMPARE(levels(), bytes({255, 255, 255}));
    QCOMPARE(goodOutput(), 0x80 | merging);
}

void tst_ReceivePipeline::publishedStateNamesSourcesAndWhatReachedNoRecord()
{
    ReceiveOptions options = LoopbackNode::onLoopback();
    options.artNetFirst = 100;
    LoopbackNode node(NodePort, options);
    qint64 now = 0;
    node.pipeline.setClock([&now] { return now; });
    QVERIFY(node.start());
    QVERIFY(node.pipeline.publishState());
    NodeStateReader reader;
    QCOMPARE(reader.attach(), NodeStateReader::Status::Attached);

    QUdpSocket console;
    QVERIFY(console.bind(QHostAddress(0x7F000002u), 0));
    const auto send = [&](const QByteArray &datagram) {
        console.writeDatagram(datagram, QHostAddress::LocalHost, NodePort);
    };
    // 20 packets a second into record 5 for a second and a bit, then one to
    // Port-Address 400, past the records, and one cut inside its header.
    for (now = 0; now <= 1050; now += 50) {
        send(ArtNetBytes::artDmx(105, 2, bytes({1, 2})));
        QTRY_COMPARE(node.pipeline.router().written(5), quint64(now / 50 + 1));
    }
    send(ArtNetBytes::artDmx(400, 2, bytes({1, 2})));
    QTRY_COMPARE(node.pipeline.router().unreached().count(), 1);
    now += 10;
    send(ArtNetBytes::artDmx(105, 2, bytes({1, 2})).left(12));
    QTRY_COMPARE(node.engine.shortArtDmxCount(), quint64(1));

    ProgramState program;
    UnreachedState unreached;
    QTRY_VERIFY(reader.readUnreached(unreached) && unreached.count == 2);
    QVERIFY(reader.readProgram(program));
    QCOMPARE(program.running, quint8(1));
    QCOMPARE(program.address, 0x7F000001u);
    QCOMPARE(program.artNetBound, quint8(1));
    QCOMPARE(program.artNetFirst, quint16(100));
    QCOMPARE(program.nowMs, now);
    QCOMPARE(program.malformedArtNet, quint64(1));
    const UnreachedEntry &malformed = unreached.entries[0]; // the latest first
    const UnreachedEntry &unmapped = unreached.entries[1];
    QCOMPARE(malformed.reason, quint8(NodeState::Unreached::Malformed));
    QCOMPARE(unmapped.reason, quint8(NodeState::Unreached::PortAddressUnmapped));
    QCOMPARE(unmapped.universe, quint16(400));
    QCOMPARE(unmapped.address, 0x7F000002u);

    RecordState record;
    QVERIFY(reader.readRecord(5, record));
    QCOMPARE(record.portAddress, quint16(105));
    QCOMPARE(record.written, quint64(22));
    QCOMPARE(record.sourceCount, quint8(1));
    QCOMPARE(record.sources[0].address, 0x7F000002u);
    QCOMPARE(record.sources[0].packetsPerSecond, 20u);
    QCOMPARE(record.sources[0].lastMs, qint64(1050));
}

QTEST_MAIN(tst_ReceivePipeline)
#include "tst_receivepipeline.moc"
