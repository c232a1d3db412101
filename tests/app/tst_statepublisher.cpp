// The published state as Dorvantis Monitor reads it, end to end in the
// test's own namespaces: the receive pipeline as the program builds it, on
// 192.168.50.10 of a /24, two consoles (.20 and .21) at the other end of a
// veth pair sending Art-Net and sACN, and the monitor's watch and models
// reading the state section. The pipeline's clock is the test's own, so a
// console falling silent is a step of that clock. And the Art-Net port held
// by another program, as the monitor tells it.

#include "artnetbytes.h"
#include "bytelist.h"
#include "loopbacknode.h"
#include "nodewatch.h"
#include "peernetwork.h"
#include "quietdebug.h"
#include "recordgridmodel.h"
#include "sacnbytes.h"
#include "unreachedmodel.h"

#include <QProcess>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QHostAddress Node(QStringLiteral("192.168.50.10"));
const QHostAddress Console(QStringLiteral("192.168.50.20"));
const QHostAddress SecondConsole(QStringLiteral("192.168.50.21"));
constexpr quint16 ArtNetPort = 6454;
constexpr quint16 SacnPort = 5568;

using State = RecordGridModel::State;

} // namespace

Q_DECLARE_METATYPE(State)

class tst_StatePublisher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(quietDebug); }
    void monitorShowsWhoFeedsEachRecordAndWhatReachesNone_data();
    void monitorShowsWhoFeedsEachRecordAndWhatReachesNone();
    void anArtNetPortHeldElsewhereIsToldAndItsHolderNamed();
};

void tst_StatePublisher::monitorShowsWhoFeedsEachRecordAndWhatReachesNone_data()
{
    QTest::addColumn<int>("merge");
    QTest::addColumn<State>("twoSenders");
    QTest::newRow("latest wins") << int(ArtNetMerge::Mode::Latest) << State::Fighting;
    QTest::newRow("htp") << int(ArtNetMerge::Mode::Htp) << State::Merging;
}

void tst_StatePublisher::monitorShowsWhoFeedsEachRecordAndWhatReachesNone()
{
    QFETCH(int, merge);
    QFETCH(State, twoSenders);

    PeerNetwork network(QStringLiteral("192.168.50.10/24"), QStringLiteral("192.168.50.20/24"),
                        {QStringLiteral("192.168.50.21/24")});
    QVERIFY2(network.isReady(), qPrintable(network.error()));
    ReceiveOptions options = LoopbackNode::onLoopback();
    options.address = Node;
    options.sacn = true;
    options.sacnPort = SacnPort;
    options.artNetMerge = ArtNetMerge::Mode(merge);
    LoopbackNode node(ArtNetPort, options);
    qint64 now = 0;
    node.pipeline.setClock([&now] { return now; });
    QVERIFY(node.start());
    QVERIFY(node.pipeline.publishState());

    QUdpSocket console, secondConsole;
    QVERIFY2(network.bindInPeer(console, Console), qPrintable(network.error()));
    QVERIFY2(network.bindInPeer(secondConsole, SecondConsole), qPrintable(network.error()));
    const auto artNet = [&](QUdpSocket &from, quint16 portAddress) {
        from.writeDatagram(ArtNetBytes::artDmx(portAddress, 2, bytes({1, 2})), Node, ArtNetPort);
    };
    const auto sacn = [&](quint16 universe) {
        SacnBytes packet;
        packet.sourceName = "FOH desk";
        packet.priority = 120;
        packet.universe = universe;
        console.writeDatagram(packet.datagram(), Node, SacnPort);
    };
    // Records 0 to 2 by Art-Net, sACN universe 1 into record 0 as well (held
    // back), universe 4 into record 3; a second console on record 2;
    // Port-Address 300 and sACN universe 300 past the records.
    for (quint16 portAddress : {0, 1, 2, 300})
        artNet(console, portAddress);
    artNet(secondConsole, 2);
    sacn(1);
    sacn(4);
    sacn(300);
    const RecordRouter &router = node.pipeline.router();
    QTRY_COMPARE(router.unreached().count() + router.sources().count(0) + router.sources().count(2), 3 + 2 + 2);
    QTRY_VERIFY(router.written(3) == 1);

    NodeWatch watch;
    qint64 monitorNow = 0;
    QTRY_COMPARE(watch.refresh(monitorNow += 100), NodeWatch::Verdict::Running);
    const NodeSnapshot &snapshot = watch.snapshot();
    QTRY_VERIFY(watch.refresh(monitorNow += 100) == NodeWatch::Verdict::Running && snapshot.unreached.count == 3);
    QVERIFY2(watch.summary().contains(QLatin1String("192.168.50.10")), qPrintable(watch.summary()));

    RecordGridModel grid;
    grid.show(&snapshot);
    QCOMPARE(grid.state(1), State::Live);
    QCOMPARE(snapshot.records[1].sources[0].address, Console.toIPv4Address());
    QCOMPARE(grid.state(0), State::HeldBack);
    QCOMPARE(grid.state(2), twoSenders);
    QCOMPARE(grid.state(3), State::Live);
    const SourceState &desk = snapshot.records[3].sources[0];
    QCOMPARE(QByteArray(desk.sourceName), QByteArray("FOH desk"));
    QCOMPARE(desk.priority, quint8(120));

    UnreachedModel unreached;
    unreached.show(&snapshot);
    QStringList numbers;
    for (int row = 0; row < unreached.rowCount(); ++row) {
        QCOMPARE(unreached.index(row, UnreachedModel::Sender).data().toString().section(QLatin1Char(':'), 0, 0),
                 Console.toString());
        numbers << unreached.index(row, UnreachedModel::Universe).data().toString();
    }
    numbers.sort();
    QCOMPARE(numbers, QStringList({"1", "1:2:12 (Port-Address 300)", "300"}));

    // The consoles fall silent: 3 s on, their records are stale.
    now += RecordGridModel::RecentMs + 1;
    QTRY_VERIFY(watch.refresh(monitorNow += 100) == NodeWatch::Verdict::Running && snapshot.program.nowMs == now);
    grid.show(&snapshot);
    QCOMPARE(grid.state(1), State::Stale);
    QCOMPARE(grid.state(3), State::Stale);
}

void tst_StatePublisher::anArtNetPortHeldElsewhereIsToldAndItsHolderNamed()
{
    // Bound without sharing, as a program that keeps the port to itself.
    QProcess holder;
    holder.start(QStringLiteral(NODESTATEPEER_FILE), {QString::number(ArtNetPort), QStringLiteral("46450")});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY(!QUdpSocket().bind(QHostAddress::LocalHost, ArtNetPort, QUdpSocket::ShareAddress));

    LoopbackNode node(ArtNetPort);
    QVERIFY(!node.start());
    QVERIFY(node.pipeline.publishState());
    NodeWatch watch;
    qint64 monitorNow = 0;
    QTRY_COMPARE(watch.refresh(monitorNow += 100), NodeWatch::Verdict::Running);
    QVERIFY2(watch.summary().contains(
                 QLatin1String("Art-Net UDP 6454 not bound: UDP port 6454 is in use by another program")),
             qPrintable(watch.summary()));
    const PortHoldersState &holders = watch.snapshot().holders;
    QCOMPARE(holders.count, 1u);
    QCOMPARE(holders.entries[0].port, ArtNetPort);
    QCOMPARE(QByteArray(holders.entries[0].name), QByteArray("nodestatepeer"));
    holder.kill();
    holder.waitForFinished();
}

QTEST_MAIN(tst_StatePublisher)
#include "tst_statepublisher.moc"
