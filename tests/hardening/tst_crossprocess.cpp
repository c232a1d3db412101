// The program and the host meet only in the shared universe data area. Here
// the program is played by writer processes (engine and mapper as the main
// window wires them) and the host by this test, through the driver library
// loaded by file name. A writer killed outright must leave the host reading
// the last values, and a restarted one must be heard without a new Connect
// and find the area as the first left it; with the last holder gone the area
// is gone. Two writers at once share the area without harm.

#include "artnetpackets.h"
#include "driverlibrary.h"
#include "universedataarea.h"
#include "wirebytes.h"

#include <QProcess>
#include <QUdpSocket>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {

const QHostAddress Local(QStringLiteral("127.0.0.1"));
constexpr quint16 Device = 1;
using VdEthDmx::ConnectFailed;

QByteArray artDmx(quint16 universe, quint16 length, quint8 fill)
{
    return datagram(ArtNet::artDmx(universe, length, fill));
}

bool channelsAre(const quint8 *channels, int from, int to, quint8 value)
{
    for (int i = from; i < to; ++i)
        if (channels[i] != value)
            return false;
    return true;
}

// The record's packet counter, behind its 512 channels.
quint32 packetCountBehind(const quint8 *channels)
{
    quint32 count;
    std::memcpy(&count, channels + UniverseData::ChannelCount, sizeof count);
    return count;
}

} // namespace

class tst_CrossProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void killedWriterLeavesTheLastValuesAndARestartedOneIsHeard();
    void twoWritersAtOnceKeepEveryRecordWhole();

private:
    // A writer listening on the port, or null when it did not say so in time.
    QProcess *startWriter(quint16 port);
    // Killed outright: no destructor runs, nothing is unmapped or closed.
    static bool killWriter(QProcess *writer);
    // Sends `length` channels of `fill` to the writer on the port; true once
    // the host reads them.
    bool hostReceives(quint16 port, int universe, int length, quint8 fill);
    const DriverFunctions &host() const { return library.functions(); }
    quint8 *portBuffer(int port);

    DriverLibrary library;
    QUdpSocket sender;
};

void tst_CrossProcess::init()
{
    QVERIFY2(library.load(VDETHDMX_FILE), library.errorString().c_str());
    QVERIFY(sender.bind(Local, 0));
}

void tst_CrossProcess::cleanup()
{
    for (int i = 0; i < 1000 && host().GetNumPorts(Device) != -1; ++i)
        host().Disconnect(Device);
    library.unload();
    sender.close();
}

QProcess *tst_CrossProcess::startWriter(quint16 port)
{
    auto *writer = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    writer->setProcessEnvironment(environment);
    writer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer->start(QStringLiteral(ARTDMXWRITER_FILE), {QString::number(port)});
    if (!writer->waitForStarted(20000))
        return nullptr;
    while (!writer->canReadLine() && writer->waitForReadyRead(20000)) {
    }
    return writer->readLine().trimmed() == "ready" ? writer : nullptr;
}

bool tst_CrossProcess::killWriter(QProcess *writer)
{
    writer->kill();
    return writer->waitForFinished(20000);
}

bool tst_CrossProcess::hostReceives(quint16 port, int universe, int length, quint8 fill)
{
    sender.writeDatagram(artDmx(quint16(universe), quint16(length), fill), Local, port);
    return QTest::qWaitFor([&] { return host().GetNumChannels(Device, universe) == length; })
        && channelsAre(portBuffer(universe), 0, length, fill);
}

quint8 *tst_CrossProcess::portBuffer(int port)
{
    quint8 *channels = nullptr;
    host().GetPortBuffer(Device, port, &channels);
    return channels;
}

void tst_CrossProcess::killedWriterLeavesTheLastValuesAndARestartedOneIsHeard()
{
    constexpr quint16 Port = 46620;
    constexpr int Universe = 7;
    QProcess *first = startWriter(Port);
    QVERIFY(first);
    QCOMPARE(host().Connect(), 0);
    quint8 *channels = portBuffer(Universe);
    QVERIFY(channels);
    QVERIFY(hostReceives(Port, Universe, 100, 0xa1));

    QVERIFY(killWriter(first));
    QCOMPARE(first->exitStatus(), QProcess::CrashExit);
    QCOMPARE(host().GetNumPorts(Device), 256);
    QCOMPARE(host().GetNumChannels(Device, Universe), 100);
    QVERIFY(channelsAre(channels, 0, 100, 0xa1));
    QCOMPARE(packetCountBehind(channels), 1u);

    // The restarted program finds the area the host still holds and writes
    // into it; the host sees the data through the pointer it already has.
    QProcess *second = startWriter(Port);
    QVERIFY(second);
    QVERIFY(hostReceives(Port, Universe, 24, 0xb2));
    QVERIFY(channelsAre(channels, 24, 100, 0xa1));
    QCOMPARE(packetCountBehind(channels), 2u);
    QCOMPARE(portBuffer(Universe), channels);

    // With the writer killed again and the host gone, nothing holds the area.
    QVERIFY(killWriter(second));
    host().Disconnect(Device);
    QCOMPARE(host().Connect(), ConnectFailed);
}

void tst_CrossProcess::twoWritersAtOnceKeepEveryRecordWhole()
{
    constexpr quint16 FirstPort = 46622;
    constexpr quint16 SecondPort = 46623;
    constexpr int Rounds = 40;
    QProcess *first = startWriter(FirstPort);
    QProcess *second = startWriter(SecondPort);
    QVERIFY(first && second);
    QCOMPARE(host().Connect(), 0);

    // Both write at the same time, each into its half of the universes; every
    // round must land whole in every record.
    auto lengthOf = [](int round, int universe) { return 1 + (round * 37 + universe * 11) % 512; };
    auto fillOf = [](int round, int universe) { return quint8(round * 3 + universe); };
    for (int round = 0; round < Rounds; ++round) {
        for (int universe = 0; universe < UniverseData::UniverseCount / 2; ++universe) {
            const int upper = universe + UniverseData::UniverseCount / 2;
            sender.writeDatagram(artDmx(quint16(universe), quint16(lengthOf(round, universe)),
                                        fillOf(round, universe)), Local, FirstPort);
            sender.writeDatagram(artDmx(quint16(upper), quint16(lengthOf(round, upper)),
                                        fillOf(round, upper)), Local, SecondPort);
        }
        for (int universe = 0; universe < UniverseData::UniverseCount; ++universe) {
            const quint8 *channels = portBuffer(universe);
            QTRY_COMPARE(packetCountBehind(channels), quint32(round + 1));
            QCOMPARE(host().GetNumChannels(Device, universe), lengthOf(round, universe));
            QVERIFY2(channelsAre(channels, 0, lengthOf(round, universe), fillOf(round, universe)),
                     qPrintable(QStringLiteral("round %1, universe %2").arg(round).arg(universe)));
        }
    }

    // Both reach the same record, one after the other.
    constexpr int Shared = 42;
    const quint8 *channels = portBuffer(Shared);
    sender.writeDatagram(artDmx(Shared, 512, 0x11), Local, FirstPort);
    QTRY_COMPARE(packetCountBehind(channels), quint32(Rounds + 1));
    sender.writeDatagram(artDmx(Shared, 300, 0x22), Local, SecondPort);
    QTRY_COMPARE(packetCountBehind(channels), quint32(Rounds + 2));
    QCOMPARE(host().GetNumChannels(Device, Shared), 300);
    QVERIFY(channelsAre(channels, 0, 300, 0x22));
    QVERIFY(channelsAre(channels, 300, 512, 0x11));

    // Neither crashed; the area outlives either one.
    QCOMPARE(first->state(), QProcess::Running);
    QCOMPARE(second->state(), QProcess::Running);
    QVERIFY(killWriter(first));
    QVERIFY(hostReceives(SecondPort, Shared, 5, 0x33));
    QVERIFY(killWriter(second));
}

QTEST_GUILESS_MAIN(tst_CrossProcess)
#include "tst_crossprocess.moc"
