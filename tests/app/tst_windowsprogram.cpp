// The Windows build where it will live, under wine64 on a display of its own
// and a network of the test's own (a /24 that a controller on the other end
// of a veth pair shares): Dorvantis.exe finds its address through Winsock, is
// answered from outside like a user would, answers an ArtPoll from the Linux
// side and a broadcast one on its subnet's broadcast address, and writes the
// ArtDmx and sACN it receives into the real Windows named section, where a host under
// the same wineserver reads it through VdEthDMX.dll: the 64-bit build of the
// library and host, or with DORVANTIS_DRIVER_HOST=32 the 32-bit ones that
// ship, which need a machine that starts 32-bit programs. Dorvantis
// Monitor runs beside it and tells what arrives. Screenshots of the four
// windows are left in the build folder.

#include "datagrams.h"
#include "peernetwork.h"
#include "programprobe.h"
#include "sacnbytes.h"
#include "virtualdisplay.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace {

using ProgramProbe::ArtNetPort;
using ProgramProbe::MainWindow;
using ProgramProbe::SelectIpDialog;
constexpr quint16 SacnPort = 5568;
constexpr int WaitMs = 30000;
// The PC's network card and a controller on the same network.
const QString NodeAddress = QStringLiteral("192.168.77.10");
const QString ControllerAddress = QStringLiteral("192.168.77.1");
const QString SubnetBroadcast = QStringLiteral("192.168.77.255");
const QString ProgramClass = QStringLiteral("dorvantis\\.exe");
const QString WindowsBuild = QStringLiteral(DORVANTIS_WINDOWS_BUILD);
// Debian keeps wine64 out of PATH; the `wine` launcher is a 32-bit program.
const QString Wine64 = QStringLiteral(WINE64_FILE);

QString windowsFile(const QString &relative)
{
    return WindowsBuild + QLatin1Char('/') + relative;
}

// The 32-bit host and library come from the 64-bit build's 32-bit part.
bool with32BitHost()
{
    return qgetenv("DORVANTIS_DRIVER_HOST") == "32";
}

QString hostFile(const char *relative)
{
    return windowsFile((with32BitHost() ? QLatin1String("win32/") : QLatin1String()) + QLatin1String(relative));
}

QString screenshotFile(const char *name)
{
    return QStringLiteral(SCREENSHOT_DIR "/wine-%1%2.png")
        .arg(with32BitHost() ? QLatin1String("32bithost-") : QLatin1String(), QLatin1String(name));
}

} // namespace

class tst_windowsprogram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startsWithTheAddressWinsockFound();
    void answersAnArtPollFromTheLinuxSide();
    void answersABroadcastPollOnItsSubnetsBroadcastAddress();
    void artDmxReachesTheHostThroughTheDriverLibrary();
    void sacnFromAControllerReachesTheHost_data();
    void sacnFromAControllerReachesTheHost();
    void monitorShowsWhatArrivesFromTheLinuxSide();
    void showsItsAboutBox();
    void quitFromTheFileMenuEndsWithZeroAndTheHostCannotConnect();

private:
    QProcessEnvironment wineEnvironment() const;
    bool runWine(const QStringList &arguments, QString *output = nullptr, int timeoutMs = WaitMs);
    QString readThroughHost(int universe);
    void verifyHostReads(int universe, const QString &expected);
    bool openFileMenu(const QString &window);

    QTemporaryDir work;
    std::unique_ptr<PeerNetwork> network;
    VirtualDisplay screen;
    QProcess program;
    QString programOutput;
    QString mainWindow;
};

QProcessEnvironment tst_windowsprogram::wineEnvironment() const
{
    QProcessEnvironment env = screen.environment();
    env.insert(QStringLiteral("WINEPREFIX"), work.filePath(QStringLiteral("prefix")));
    env.insert(QStringLiteral("WINEARCH"), QStringLiteral("win64"));
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    // Wine hands Windows programs WINEQT_X as QT_X: qDebug to standard error.
    env.insert(QStringLiteral("WINEQT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    return env;
}

bool tst_windowsprogram::runWine(const QStringList &arguments, QString *output, int timeoutMs)
{
    return screen.run(Wine64, arguments, output, timeoutMs, wineEnvironment());
}

QString tst_windowsprogram::readThroughHost(int universe)
{
    // The 32-bit host through the `wine` launcher, itself a 32-bit program.
    const QString launcher = with32BitHost() ? QStringLiteral("wine") : Wine64;
    QString output;
    screen.run(launcher,
               {hostFile("tools/drivertesthost.exe"), hostFile("driver/VdEthDMX.dll"), QString::number(universe)},
               &output, WaitMs, wineEnvironment());
    return output;
}

// What the host reads of the universe, as drivertesthost prints it, once it
// holds `expected`.
void tst_windowsprogram::verifyHostReads(int universe, const QString &expected)
{
    QString seen;
    QTRY_VERIFY2_WITH_TIMEOUT((seen = readThroughHost(universe)).replace(QLatin1String("\r\n"), QLatin1String("\n"))
                                  .contains(expected),
                              qPrintable(seen), WaitMs);
}

bool tst_windowsprogram::openFileMenu(const QString &window)
{
    return screen.untilAWindowOpens(ProgramClass, [&] {
        return screen.xdotool({"windowfocus", window}) && screen.xdotool({"key", "alt+f"});
    });
}

void tst_windowsprogram::initTestCase()
{
    if (WindowsBuild.isEmpty())
        QSKIP("no Windows build configured (DORVANTIS_WINDOWS_BUILD)");
    for (const QString &file : {windowsFile(QStringLiteral("app/Dorvantis.exe")), hostFile("driver/VdEthDMX.dll"),
                                hostFile("tools/drivertesthost.exe")}) {
        if (!QFile::exists(file))
            QSKIP(qPrintable(file + QLatin1String(" is not built")));
    }
    QStringList missing = VirtualDisplay::missingTools();
    if (!QFileInfo(Wine64).isExecutable())
        missing << QStringLiteral("wine64");
    for (const char *tool : {"wineserver", with32BitHost() ? "wine" : nullptr}) {
        if (tool && QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            missing << QLatin1String(tool);
    }
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing.join(QLatin1String(", ")) + QLatin1String(" not installed")));

    QVERIFY(work.isValid());
    QVERIFY(QDir().mkpath(QStringLiteral(SCREENSHOT_DIR)));
    QVERIFY(screen.start());

    network.reset(new PeerNetwork(NodeAddress + QLatin1String("/24"), ControllerAddress + QLatin1String("/24")));
    QVERIFY2(network->isReady(), qPrintable(network->error()));
    // The PC's own name resolves to its network card's address, as on a PC
    // on a lighting network; /etc/hosts is this test's own (cmake/isolated.sh).
    QFile hosts(QStringLiteral("/etc/hosts"));
    QVERIFY(hosts.open(QIODevice::WriteOnly | QIODevice::Truncate));
    hosts.write(QStringLiteral("127.0.0.1 localhost\n%1 %2\n").arg(NodeAddress, QHostInfo::localHostName()).toLatin1());
    hosts.close();

    // A prefix of this test's own, so that its wineserver (which owns the
    // sockets of the programs it serves) lives in this test's network.
    QProcess boot;
    boot.setProcessEnvironment(wineEnvironment());
    boot.start(Wine64, {QStringLiteral("wineboot"), QStringLiteral("--init")});
    QVERIFY(boot.waitForFinished(180000));
    QCOMPARE(boot.exitCode(), 0);
    // Windows' own interface font, so that the windows look as they will there.
    const QString fonts = work.filePath(QStringLiteral("prefix/drive_c/windows/Fonts/"));
    for (const char *font : {"tahoma.ttf", "tahomabd.ttf"})
        QFile::copy(QLatin1String("/usr/share/wine/fonts/") + QLatin1String(font), fonts + QLatin1String(font));
    // The previous choice, where the Windows program keeps its settings.
    QVERIFY(runWine({"reg", "add", "HKCU\\Software\\Veldara Orvik\\Dorvantis\\Network", "/v", "ip", "/d",
                     NodeAddress, "/f"}));
}

void tst_windowsprogram::cleanupTestCase()
{
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished();
    }
    QProcess::execute(QStringLiteral("wineserver"), {QStringLiteral("-k")});
}

void tst_windowsprogram::startsWithTheAddressWinsockFound()
{
    program.setProcessEnvironment(wineEnvironment());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(Wine64, {windowsFile(QStringLiteral("app/Dorvantis.exe"))});
    QVERIFY(program.waitForStarted());

    const QString dialog = screen.waitForWindow(SelectIpDialog, WaitMs);
    QVERIFY2(!dialog.isEmpty(), "the address dialog did not appear");
    QVERIFY(!screen.windowShown(MainWindow));
    screen.screenshot(dialog, screenshotFile("select-ip"));

    QVERIFY(screen.xdotool({"windowfocus", dialog}));
    QVERIFY(screen.xdotool({"key", "Return"}));
    mainWindow = screen.waitForWindow(MainWindow, WaitMs);
    QVERIFY2(!mainWindow.isEmpty(), "the main window did not appear");

    // Discovery's trace and the start-up's, through standard output and error.
    QTRY_VERIFY_WITH_TIMEOUT((programOutput += QString::fromLocal8Bit(program.readAll()))
                                 .contains(QLatin1String("ArtNet engine running")),
                             WaitMs);
    QVERIFY2(programOutput.contains(QLatin1String("found ip ") + NodeAddress), qPrintable(programOutput));
    // The mask wine reports for the card, /24, makes the broadcast address.
    QVERIFY2(programOutput.contains(QLatin1String("ArtNet replies to broadcast address ") + SubnetBroadcast),
             qPrintable(programOutput));
    QString stored;
    QVERIFY(runWine({"reg", "query", "HKCU\\Software\\Veldara Orvik\\Dorvantis\\Network", "/v", "ip"}, &stored));
    QVERIFY(stored.contains(NodeAddress));
    screen.screenshot(mainWindow, screenshotFile("main-window"));
}

void tst_windowsprogram::answersAnArtPollFromTheLinuxSide()
{
    QVERIFY(program.state() == QProcess::Running);
    ProgramProbe::verifyAnswersPoll(WaitMs, QHostAddress(NodeAddress));
}

void tst_windowsprogram::answersABroadcastPollOnItsSubnetsBroadcastAddress()
{
    QVERIFY(program.state() == QProcess::Running);
    QUdpSocket controller;
    QVERIFY(network->bindInPeer(controller, QHostAddress::AnyIPv4, ArtNetPort));
    const QByteArray artPoll = ArtNetBytes::artPoll(0x00); // replies to the broadcast address
    QCOMPARE(controller.writeDatagram(artPoll, QHostAddress(NodeAddress), ArtNetPort), qint64(14));
    QTRY_VERIFY_WITH_TIMEOUT(controller.hasPendingDatagrams(), WaitMs);
    const QNetworkDatagram reply = controller.receiveDatagram();
    QCOMPARE(reply.destinationAddress(), QHostAddress(SubnetBroadcast));
    QCOMPARE(reply.senderAddress(), QHostAddress(NodeAddress));
    QCOMPARE(reply.data().left(10), QByteArray("Art-Net\0\x00\x21", 10));
}

void tst_windowsprogram::artDmxReachesTheHostThroughTheDriverLibrary()
{
    QVERIFY(program.state() == QProcess::Running);
    const QByteArray artDmx = ProgramProbe::artDmx(5, QByteArray("\x0a\x14\x1e\x28\xff\x01", 6));
    QUdpSocket sender;
    QCOMPARE(sender.writeDatagram(artDmx, QHostAddress(QHostAddress::LocalHost), ArtNetPort), qint64(artDmx.size()));
    verifyHostReads(5, QStringLiteral("universe 5: 6 channels\n  001: 0a 14 1e 28 ff 01\n"));
}

void tst_windowsprogram::sacnFromAControllerReachesTheHost_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<int>("universe"); // sACN universe u is record u - 1

    QTest::newRow("unicast") << NodeAddress << 1;
    QTest::newRow("multicast") << QStringLiteral("239.255.0.7") << 7;
    // Past the 20 groups Linux lets one socket join, which wine meets too.
    QTest::newRow("multicast, group 250") << QStringLiteral("239.255.0.250") << 250;
}

void tst_windowsprogram::sacnFromAControllerReachesTheHost()
{
    QFETCH(QString, destination);
    QFETCH(int, universe);
    QVERIFY(program.state() == QProcess::Running);

    QUdpSocket controller;
    QVERIFY(network->bindInPeer(controller, QHostAddress(ControllerAddress)));
    SacnBytes packet;
    packet.universe = universe;
    packet.levels = bytes({0x01, 0x80, 0xff, universe});
    QVERIFY(controller.writeDatagram(packet.datagram(), QHostAddress(destination), SacnPort) > 0);
    verifyHostReads(universe - 1, QStringLiteral("universe %1: 4 channels\n  001: 01 80 ff %2\n")
                                      .arg(universe - 1)
                                      .arg(universe, 2, 16, QLatin1Char('0')));
}

void tst_windowsprogram::monitorShowsWhatArrivesFromTheLinuxSide()
{
    QVERIFY(program.state() == QProcess::Running);
    QProcess monitor;
    monitor.setProcessEnvironment(wineEnvironment());
    monitor.setProcessChannelMode(QProcess::MergedChannels);
    monitor.start(Wine64, {windowsFile(QStringLiteral("monitor/DorvantisMonitor.exe"))});
    QVERIFY(monitor.waitForStarted());
    const QString window = screen.waitForWindow(QStringLiteral("^Dorvantis Monitor$"), WaitMs);
    QVERIFY2(!window.isEmpty(), "the monitor's window did not appear");

    // The controller sends until the monitor's log tells that record 3 is live.
    QUdpSocket controller;
    QVERIFY(network->bindInPeer(controller, QHostAddress(ControllerAddress)));
    const QByteArray artDmx = ProgramProbe::artDmx(3, QByteArray("\x7f\x40", 2));
    const QRegularExpression live(QStringLiteral("live: ([0-9]+,)*3[,;\\s]"));
    QString log;
    QTRY_VERIFY2_WITH_TIMEOUT((controller.writeDatagram(artDmx, QHostAddress(NodeAddress), ArtNetPort),
                               log += QString::fromLocal8Bit(monitor.readAll()))
                                  .contains(live),
                              qPrintable(log), WaitMs);
    QVERIFY2(log.contains(QStringLiteral("Dorvantis Monitor: Dorvantis 1.3 on %1, replies to %2")
                              .arg(NodeAddress, SubnetBroadcast)),
             qPrintable(log));
    screen.screenshot(window, screenshotFile("monitor"));
    // Closed as a user closes it, which gives the focus back to the program.
    QVERIFY(screen.xdotool({"windowfocus", window}) && screen.xdotool({"key", "alt+F4"}));
    QVERIFY(monitor.waitForFinished(WaitMs));
}

void tst_windowsprogram::showsItsAboutBox()
{
    QVERIFY(program.state() == QProcess::Running);
    // "&?" is the menu to the right of "&File"; About is its only entry.
    QVERIFY(openFileMenu(mainWindow));
    QVERIFY(screen.xdotool({"key", "Right"}));
    QVERIFY(screen.xdotool({"key", "Return"}));
    const QString about =
        screen.waitForOtherWindow(ProgramClass, mainWindow, QStringLiteral("Veldara Dorvantis"), WaitMs);
    QVERIFY2(!about.isEmpty(), "no About box");
    screen.screenshot(about, screenshotFile("about"));
    auto escape = [&] { return screen.xdotool({"windowfocus", about}) && screen.xdotool({"key", "Escape"}); };
    QVERIFY2(screen.untilTheWindowCloses(about, escape), qPrintable(screen.describeWindows(ProgramClass)));
    QTRY_VERIFY2_WITH_TIMEOUT(screen.windowsOfClass(ProgramClass) == QStringList(mainWindow),
                              qPrintable(screen.describeWindows(ProgramClass)), WaitMs);
}

void tst_windowsprogram::quitFromTheFileMenuEndsWithZeroAndTheHostCannotConnect()
{
    QVERIFY(program.state() == QProcess::Running);
    QVERIFY2(openFileMenu(mainWindow), "the File menu did not open");
    QVERIFY(screen.xdotool({"key", "Return"}));
    QVERIFY(program.waitForFinished(WaitMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(readThroughHost(0).contains(QLatin1String("connect failed")));
}

QTEST_GUILESS_MAIN(tst_windowsprogram)
#include "tst_windowsprogram.moc"
