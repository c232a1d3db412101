// End to end on loopback: artnetsend sends, an engine and a mapper wired as
// the program wires them write the area, and dmxmonitor, a separate process
// going through the driver library, shows what arrived.

#include "loopbacknode.h"
#include "runtool.h"
#include "sharedarea.h"
#include "universedataarea.h"

#include <QtTest>

#include <memory>

namespace {

constexpr quint16 NodePort = 46320;

ToolRun monitor(const QStringList &arguments)
{
    return runTool(QStringLiteral(DMXMONITOR_FILE), QStringList{"--once", "--library", VDETHDMX_FILE} + arguments);
}

ToolRun send(const QStringList &arguments)
{
    return runTool(QStringLiteral(ARTNETSEND_FILE), QStringList{"-q", "-p", QString::number(NodePort)} + arguments);
}

QByteArray universeLine(const QByteArray &out, int universe)
{
    for (const QByteArray &line : out.split('\n')) {
        if (line.startsWith("universe " + QByteArray::number(universe) + " "))
            return line;
    }
    return QByteArray();
}

// Packets counted over all records, read beside the monitor.
quint64 packetsWritten()
{
    const SharedArea area(SharedArea::Mode::OpenRead);
    quint64 total = 0;
    for (int u = 0; area.isValid() && u < UniverseData::UniverseCount; ++u)
        total += area.record(u).packetCount;
    return total;
}

} // namespace

class tst_ReceivePath : public QObject
{
    Q_OBJECT

private slots:
    void valuesSentArriveAtTheMonitor();
    void aMovingPatternShowsItsLastFrameAndEveryPacket();
    void monitorReportsTheMissingAreaOnceTheNodeIsGone();
};

void tst_ReceivePath::valuesSentArriveAtTheMonitor()
{
    LoopbackNode node(NodePort);
    QVERIFY(node.start());
    const ToolRun sent = send({"-u", "2,5", "-c", "255,128,0,64", "-c", "512=33"});
    QCOMPARE(sent.exitCode, 0);
    QTRY_COMPARE(packetsWritten(), quint64(2));

    const ToolRun shown = monitor({"-u", "2,5,9", "-c", "1-4"});
    QCOMPARE(shown.exitCode, 0);
    QVERIFY(shown.out.contains("device 1 VeldNet Eth-DMX\n"));
    QCOMPARE(universeLine(shown.out, 2), QByteArray("universe 2 length 512 packets 1 channels 1-4: 255 128 0 64"));
    QCOMPARE(universeLine(shown.out, 5), QByteArray("universe 5 length 512 packets 1 channels 1-4: 255 128 0 64"));
    QCOMPARE(universeLine(shown.out, 9), QByteArray("universe 9 length 0 packets 0 channels 1-4: 0 0 0 0"));

    const ToolRun last = monitor({"-u", "5", "-c", "511-512"});
    QCOMPARE(universeLine(last.out, 5), QByteArray("universe 5 length 512 packets 1 channels 511-512: 0 33"));
}

void tst_ReceivePath::aMovingPatternShowsItsLastFrameAndEveryPacket()
{
    LoopbackNode node(NodePort);
    QVERIFY(node.start());
    // Ten frames of the ramp: channel i of frame f holds i + f (from 0),
    // offset by 16 per universe, so the last frame of universe 1 starts at 25.
    const ToolRun sent = send({"-u", "0-1", "-P", "ramp", "-n", "10", "-r", "200", "-l", "100"});
    QCOMPARE(sent.exitCode, 0);
    QTRY_COMPARE(packetsWritten(), quint64(20));

    const ToolRun shown = monitor({"0-1", "-c", "1-3"});
    QCOMPARE(shown.exitCode, 0);
    QCOMPARE(universeLine(shown.out, 0), QByteArray("universe 0 length 100 packets 10 channels 1-3: 9 10 11"));
    QCOMPARE(universeLine(shown.out, 1), QByteArray("universe 1 length 100 packets 10 channels 1-3: 25 26 27"));
}

void tst_ReceivePath::monitorReportsTheMissingAreaOnceTheNodeIsGone()
{
    auto node = std::make_unique<LoopbackNode>(NodePort);
    QVERIFY(node->start());
    QCOMPARE(send({"-u", "1", "-c", "1"}).exitCode, 0);
    QTRY_COMPARE(packetsWritten(), quint64(1));
    QCOMPARE(monitor({"1"}).exitCode, 0);

    node.reset();
    const ToolRun shown = monitor({"1"});
    QCOMPARE(shown.exitCode, 3);
    QVERIFY(shown.err.contains("is Dorvantis running?"));
}

QTEST_MAIN(tst_ReceivePath)
#include "tst_receivepath.moc"
