// artnetsend run as a process, against sockets and an engine on loopback.

#include "artnetengine.h"
#include "artnetpackets.h"
#include "datagrams.h"
#include "portaddresses.h"
#include "runtool.h"

#include <QProcess>
#include <QUdpSocket>
#include <QtTest>

namespace {

constexpr quint16 ReceivePort = 46300;
constexpr quint16 NodePort = 46301;
constexpr quint16 SilentPort = 46302;

ToolRun artnetsend(const QStringList &arguments)
{
    return runTool(QStringLiteral(ARTNETSEND_FILE), arguments);
}

quint8 byteAt(const QByteArray &datagram, int offset)
{
    return quint8(datagram.at(offset));
}

} // namespace

class tst_ArtNetSend : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void helpDescribesOptionsAndExitCodes();
    void badArgumentsSendNothing_data();
    void badArgumentsSendNothing();
    void sendsFixedChannelValuesOnceToEachUniverse();
    void patternsMoveFromFrameToFrame_data();
    void patternsMoveFromFrameToFrame();
    void pollPrintsTheNodesReplyAndItsPorts_data();
    void pollPrintsTheNodesReplyAndItsPorts();
    void pollWithoutAnswerFailsWithItsOwnExitCode();

private:
    QUdpSocket receiver;
};

void tst_ArtNetSend::init()
{
    // Bound afresh for each case: nothing an earlier case sent is left.
    receiver.close();
    QVERIFY(receiver.bind(QHostAddress::LocalHost, ReceivePort));
}

void tst_ArtNetSend::helpDescribesOptionsAndExitCodes()
{
    const ToolRun run = artnetsend({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains("--universe"));
    QVERIFY(run.out.contains("--poll"));
    QVERIFY(run.out.contains("default 127.0.0.1"));
    QVERIFY(run.out.contains("Exit codes"));
}

void tst_ArtNetSend::badArgumentsSendNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("unknown option") << QStringList{"--bogus"} << QByteArray("bogus");
    QTest::newRow("stray argument") << QStringList{"7"} << QByteArray("unexpected argument");
    QTest::newRow("not an address") << QStringList{"-a", "localhost"} << QByteArray("not an IPv4 address");
    QTest::newRow("octet too large") << QStringList{"-a", "127.0.0.256"} << QByteArray("not an IPv4 address");
    QTest::newRow("IPv6 address") << QStringList{"-a", "::1"} << QByteArray("not an IPv4 address");
    QTest::newRow("port 0") << QStringList{"-p", "0"} << QByteArray("port");
    QTest::newRow("universe beyond 15 bits") << QStringList{"-u", "32768"} << QByteArray("universes");
    QTest::newRow("universe range backwards") << QStringList{"-u", "7-4"} << QByteArray("universes");
    QTest::newRow("universe not a number") << QStringList{"-u", "one"} << QByteArray("universes");
    QTest::newRow("empty universe item") << QStringList{"-u", "1,,2"} << QByteArray("universes");
    QTest::newRow("channel 0") << QStringList{"-c", "0=5"} << QByteArray("bad channel values");
    QTest::newRow("channel 513") << QStringList{"-c", "513=5"} << QByteArray("bad channel values");
    QTest::newRow("value 256") << QStringList{"-c", "256"} << QByteArray("bad channel values");
    QTest::newRow("values run past 512") << QStringList{"-c", "512=1,2"} << QByteArray("bad channel values");
    QTest::newRow("values and pattern") << QStringList{"-c", "1", "-P", "ramp"} << QByteArray("either");
    QTest::newRow("unknown pattern") << QStringList{"-P", "strobe"} << QByteArray("unknown pattern");
    QTest::newRow("length 513") << QStringList{"-l", "513"} << QByteArray("length");
    QTest::newRow("rate 0") << QStringList{"-r", "0"} << QByteArray("rate");
    QTest::newRow("negative count") << QStringList{"-n", "-1"} << QByteArray("count");
    QTest::newRow("poll with universes") << QStringList{"--poll", "-u", "1"} << QByteArray("--poll");
    QTest::newRow("timeout without poll") << QStringList{"-t", "100"} << QByteArray("belong to --poll");
}

void tst_ArtNetSend::badArgumentsSendNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);

    // The row's own options come last and win over this default.
    const ToolRun run = artnetsend(QStringList{QStringLiteral("-p"), QString::number(ReceivePort)} + arguments);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message), run.err.constData());
    QVERIFY(run.out.isEmpty());
    QVERIFY(!receiver.waitForReadyRead(50));
}

void tst_ArtNetSend::sendsFixedChannelValuesOnceToEachUniverse()
{
    // Plain values fill from channel 1; C=V and A-B=V set single channels and
    // ranges; unlisted channels stay 0. The length field is independent.
    const ToolRun run = artnetsend({"-p", QString::number(ReceivePort), "-u", "1,3-4", "-c", "255,128", "-c", "10=7",
                             "-c", "500-512=9", "-l", "24"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains("sent 3 ArtDmx"));

    const QList<QByteArray> datagrams = takeDatagrams(receiver);
    QCOMPARE(datagrams.size(), 3);
    const quint8 universes[] = {1, 3, 4};
    for (int i = 0; i < 3; ++i) {
        const QByteArray &d = datagrams[i];
        QCOMPARE(d.size(), 530);
        QCOMPARE(d.left(8), QByteArray("Art-Net\0", 8));
        QCOMPARE(byteAt(d, 8), quint8(0x00)); // opCode 0x5000, low byte first
        QCOMPARE(byteAt(d, 9), quint8(0x50));
        QCOMPARE(byteAt(d, 10), quint8(0));   // protocol version 14, high byte first
        QCOMPARE(byteAt(d, 11), quint8(14));
        QCOMPARE(byteAt(d, 12), quint8(1));   // sequence of the first frame
        QCOMPARE(byteAt(d, 14), universes[i]); // universe, low byte first
        QCOMPARE(byteAt(d, 15), quint8(0));
        QCOMPARE(byteAt(d, 16), quint8(0));   // length 24, high byte first
        QCOMPARE(byteAt(d, 17), quint8(24));
        QCOMPARE(byteAt(d, 18), quint8(255)); // channel 1
        QCOMPARE(byteAt(d, 19), quint8(128)); // channel 2
        QCOMPARE(byteAt(d, 20), quint8(0));   // channel 3
        QCOMPARE(byteAt(d, 27), quint8(7));   // channel 10
        QCOMPARE(byteAt(d, 18 + 498), quint8(0)); // channel 499
        QCOMPARE(byteAt(d, 18 + 499), quint8(9)); // channel 500
        QCOMPARE(byteAt(d, 529), quint8(9));      // channel 512
    }
}

void tst_ArtNetSend::patternsMoveFromFrameToFrame_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::newRow("ramp") << QStringLiteral("ramp");
    QTest::newRow("chase") << QStringLiteral("chase");
}

void tst_ArtNetSend::patternsMoveFromFrameToFrame()
{
    QFETCH(QString, pattern);

    const ToolRun run = artnetsend({"-p", QString::number(ReceivePort), "-u", "6", "-P", pattern, "-n", "4", "-r", "500"});
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> frames = takeDatagrams(receiver);
    QCOMPARE(frames.size(), 4);
    for (int f = 0; f < frames.size(); ++f) {
        QCOMPARE(byteAt(frames[f], 12), quint8(f + 1));
        QCOMPARE(byteAt(frames[f], 14), quint8(6));
        QCOMPARE(frames[f].size(), 530);
        if (f > 0)
            QVERIFY2(frames[f].mid(18) != frames[f - 1].mid(18), "the pattern stood still");
    }
    if (pattern == QLatin1String("chase")) {
        // One channel at full, one step further each frame.
        for (int f = 0; f < frames.size(); ++f) {
            const QByteArray data = frames[f].mid(18);
            QCOMPARE(data.count(char(255)), 1);
            QCOMPARE(data.count(char(0)), 511);
            QCOMPARE(data.indexOf(char(255)), frames[0].mid(18).indexOf(char(255)) + f);
        }
    }
}

void tst_ArtNetSend::pollPrintsTheNodesReplyAndItsPorts_data()
{
    QTest::addColumn<QVector<quint16>>("outputs");
    QTest::addColumn<QByteArray>("ports");

    QTest::newRow("no ports") << QVector<quint16>() << QByteArray("no ports");
    QTest::newRow("0-15, 32") << portAddresses(0, 15) + QVector<quint16>{32} << QByteArray("outputs 0-15, 32");
    QTest::newRow("all 256") << portAddresses(0, 255) << QByteArray("outputs 0-255");
    QTest::newRow("beyond Net 0") << QVector<quint16>{5, 0x1234, 0x1235} << QByteArray("outputs 5, 4660-4661");
}

void tst_ArtNetSend::pollPrintsTheNodesReplyAndItsPorts()
{
    QFETCH(QVector<quint16>, outputs);
    QFETCH(QByteArray, ports);

    ArtNetEngine node(QHostAddress(QStringLiteral("127.0.0.1")), NodePort, 6, true);
    node.setShortName(QStringLiteral("Dorvantis"));
    node.setLongName(QStringLiteral("Veldara Dorvantis 1.3"));
    node.setNodeReport(QStringLiteral("#0001 [0000] ok"));
    node.setOutputUniverses(outputs);
    QVERIFY(node.start());

    // The node answers from this process's event loop, so the tool runs alongside it.
    QProcess process;
    process.start(QStringLiteral(ARTNETSEND_FILE),
                  {"--poll", "-p", QString::number(NodePort), "-t", "1000"});
    QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 15000);
    const QByteArray out = process.readAllStandardOutput();
    QCOMPARE(process.exitCode(), 0);

    // The own reply in full; bound replies only in the line of ports.
    QVERIFY2(out.startsWith("ArtPollReply from 127.0.0.1:" + QByteArray::number(NodePort) + " (239 bytes)"),
             out.constData());
    QCOMPARE(out.count("ArtPollReply from"), 1);
    const QList<QByteArray> expected = {
        "ipAddress         127.0.0.1",
        "port              " + QByteArray::number(NodePort),
        "oem               0x00ff",
        "shortName         \"Dorvantis\"",
        "longName          \"Veldara Dorvantis 1.3\"",
        "nodeReport        \"#0001 [0000] ok\"",
        "numPorts          0",
        "style             6",
        "mac               00:00:00:00:00:00",
        "bindIndex         0",
    };
    for (const QByteArray &line : expected)
        QVERIFY2(out.contains("  " + line + "\n"), line.constData());
    QVERIFY2(out.endsWith("\n\nDorvantis 127.0.0.1: " + ports + "\n"), out.constData());
}

void tst_ArtNetSend::pollWithoutAnswerFailsWithItsOwnExitCode()
{
    const ToolRun run = artnetsend({"--poll", "-p", QString::number(SilentPort), "-t", "200"});
    QCOMPARE(run.exitCode, 3);
    QVERIFY(run.err.contains("no ArtPollReply within 200 ms"));
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ArtNetSend)
#include "tst_artnetsend.moc"
