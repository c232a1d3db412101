// The built program as a user and a visualiser host meet it: started on a
// display of its own (Xvfb), with or without a real system tray (trayer), the
// address dialog answered from outside with the keyboard, Art-Net sent to it
// over loopback, the channels read through the driver library as a host reads
// them, and the program ended by Quit, by closing its window and by signals.

#include "driverlibrary.h"
#include "localaddresses.h"
#include "programprobe.h"
#include "virtualdisplay.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <csignal>

namespace {

using ProgramProbe::ArtNetPort;
using ProgramProbe::artDmx;
using ProgramProbe::MainWindow;
using ProgramProbe::SelectIpDialog;
constexpr int WaitMs = 20000;
constexpr uint16_t DeviceId = 1;
const QString ProgramClass = QStringLiteral("^Dorvantis$");

bool sendToProgram(const QByteArray &datagram)
{
    QUdpSocket sender;
    return sender.writeDatagram(datagram, QHostAddress(QHostAddress::LocalHost), ArtNetPort) == datagram.size();
}

} // namespace

class tst_program : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void carriesArtNetFromTheChosenAddressToTheHostAndQuits();
    void closingWithoutASystemTrayEndsTheProgram();
    void livesInARealSystemTray();
    void secondStartNamesTheRunningCopyAndEndsLeavingItAtWork();
    void signalsEndItAsQuitDoesWhileTheHostKeepsItsValues_data();
    void signalsEndItAsQuitDoesWhileTheHostKeepsItsValues();
    void ignoredInterruptStaysIgnored();

private:
    // Starts the program (through the shell command when given) and answers
    // its address dialog with Return; the stored 127.0.0.1 is preselected.
    bool startProgram(const QString &shellPrefix = QString());
    bool endedWithZero();
    // The channels the driver library hands a host for the universe, once
    // they begin with the expected bytes.
    bool hostSees(int universe, const QByteArray &expected);
    void sendSignal(int signalNumber);

    QTemporaryDir home;
    VirtualDisplay screen;
    QProcess program;
    DriverLibrary driver;
};

void tst_program::initTestCase()
{
    const QStringList missing = VirtualDisplay::missingTools(true);
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing.join(QLatin1String(", ")) + QLatin1String(" not installed")));
    // The program preselects the stored 127.0.0.1 only if it is among the
    // addresses it finds; pressing Return must never pick another one.
    const std::vector<std::string> found = discoverLocalAddresses().addresses;
    if (std::find(found.begin(), found.end(), "127.0.0.1") == found.end())
        QSKIP("this machine does not list 127.0.0.1 among its addresses");

    QVERIFY(home.isValid());
    const QString settingsDir = home.filePath(QStringLiteral(".config/Veldara Orvik"));
    QVERIFY(QDir().mkpath(settingsDir));
    QFile settings(settingsDir + QStringLiteral("/Dorvantis.conf"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Network]\nip=127.0.0.1\n");
    settings.close();

    QVERIFY(screen.start());
    QVERIFY2(driver.load(VDETHDMX_FILE), driver.errorString().c_str());
}

void tst_program::cleanup()
{
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished();
    }
    screen.stopTray();
}

bool tst_program::startProgram(const QString &shellPrefix)
{
    QProcessEnvironment env = screen.environment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    if (shellPrefix.isEmpty())
        program.start(QStringLiteral(DORVANTIS_FILE), QStringList());
    else
        program.start(QStringLiteral("sh"), {QStringLiteral("-c"), shellPrefix + QStringLiteral("; exec \"$0\""),
                                             QStringLiteral(DORVANTIS_FILE)});
    if (!program.waitForStarted())
        return false;

    const QString dialog = screen.waitForWindow(SelectIpDialog);
    if (dialog.isEmpty()) {
        qWarning("the address dialog did not appear");
        return false;
    }
    // The main window waits for the dialog.
    if (screen.windowShown(MainWindow)) {
        qWarning("the main window came before the address was chosen");
        return false;
    }
    // The dialog takes the keyboard focus as it opens; Return presses its Ok.
    if (!screen.xdotool({"windowfocus", dialog}) || !screen.xdotool({"key", "Return"}))
        return false;
    return !screen.waitForWindow(MainWindow).isEmpty() && !screen.windowShown(SelectIpDialog);
}

bool tst_program::endedWithZero()
{
    return program.waitForFinished(WaitMs) && program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0;
}

bool tst_program::hostSees(int universe, const QByteArray &expected)
{
    const DriverFunctions &host = driver.functions();
    QDeadlineTimer deadline(WaitMs);
    do {
        uint8_t *channels = nullptr;
        const int32_t count = host.GetPortBuffer(DeviceId, universe, &channels);
        if (channels && count == expected.size()
            && QByteArray(reinterpret_cast<const char *>(channels), count) == expected)
            return true;
        QTest::qWait(20);
    } while (!deadline.hasExpired());
    return false;
}

void tst_program::sendSignal(int signalNumber)
{
    QVERIFY(program.processId() > 0);
    QCOMPARE(::kill(pid_t(program.processId()), signalNumber), 0);
}

void tst_program::carriesArtNetFromTheChosenAddressToTheHostAndQuits()
{
    QVERIFY(startProgram());
    QFile settings(home.filePath(QStringLiteral(".config/Veldara Orvik/Dorvantis.conf")));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(settings.readAll().contains("ip=127.0.0.1"));

    const DriverFunctions &host = driver.functions();
    QCOMPARE(host.Connect(), 0);
    QVERIFY(sendToProgram(artDmx(5, QByteArray("\x0a\x14\x1e\x28\xff\x01", 6))));
    QVERIFY(hostSees(5, QByteArray("\x0a\x14\x1e\x28\xff\x01", 6)));
    host.Disconnect(DeviceId);

    // Another node on this machine polls it.
    ProgramProbe::verifyAnswersPoll(WaitMs);
    if (QTest::currentTestFailed())
        return;

    // Without a window manager nothing hands the main window the focus, and
    // keys typed before the program has taken note of it go nowhere: try
    // again until "&File" opens its menu, whose only, highlighted entry is Quit.
    const QString window = screen.waitForWindow(MainWindow);
    QVERIFY2(screen.untilAWindowOpens(ProgramClass,
                                      [&] {
                                          return screen.xdotool({"windowfocus", window})
                                              && screen.xdotool({"key", "alt+f"});
                                      }),
             "the File menu did not open");
    QVERIFY(screen.xdotool({"key", "Return"}));
    QVERIFY(endedWithZero());
    QCOMPARE(host.Connect(), VdEthDmx::ConnectFailed); // the area went with the program
}

void tst_program::closingWithoutASystemTrayEndsTheProgram()
{
    QVERIFY(startProgram());
    QVERIFY(screen.requestClose(screen.waitForWindow(MainWindow)));
    QVERIFY(endedWithZero());
    QVERIFY(!screen.windowShown(QStringLiteral("^Systray$")));
    QCOMPARE(driver.functions().Connect(), VdEthDmx::ConnectFailed);
}

void tst_program::livesInARealSystemTray()
{
    QVERIFY(screen.startTray());
    QVERIFY(startProgram());
    const QString window = screen.waitForWindow(MainWindow);

    // The icon is the program's other window, embedded in the tray.
    const QString icon = screen.waitForOtherWindow(ProgramClass, window, QString(), WaitMs);
    QVERIFY2(!icon.isEmpty(), "no tray icon");

    // The tray menu's entries by their accelerators: Maximize, Restore, Quit.
    // A click that comes while the program is still busy hiding its window
    // can go unnoticed, as with a real mouse: click again, as a user would.
    const auto chooseFromTrayMenu = [&](const char *key) {
        QVERIFY2(screen.untilAWindowOpens(ProgramClass, [&] { return screen.clickWindow(icon, 3); }, 5),
                 "the tray menu did not open");
        QVERIFY(screen.xdotool({"key", QLatin1String(key)}));
    };

    // Every close hides the window behind the same notice; the program runs on.
    for (int round = 0; round < 2; ++round) {
        QVERIFY(screen.requestClose(window));
        const QString notice = screen.waitForWindow(QStringLiteral("^Systray$"));
        QVERIFY2(!notice.isEmpty(), "no Systray notice");
        QVERIFY(screen.xdotool({"windowfocus", notice}));
        QVERIFY(screen.xdotool({"key", "Return"}));
        QTRY_VERIFY_WITH_TIMEOUT(!screen.windowShown(MainWindow), WaitMs);
        QCOMPARE(program.state(), QProcess::Running);

        chooseFromTrayMenu("r");
        QVERIFY(!screen.waitForWindow(MainWindow).isEmpty());
    }

    chooseFromTrayMenu("q");
    QVERIFY(endedWithZero());
}

void tst_program::secondStartNamesTheRunningCopyAndEndsLeavingItAtWork()
{
    QVERIFY(startProgram());
    QProcess second;
    second.setProcessEnvironment(program.processEnvironment());
    second.start(QStringLiteral(DORVANTIS_FILE), QStringList());
    const QString box = screen.waitForWindow(QStringLiteral("^Dorvantis$"));
    QVERIFY2(!box.isEmpty(), "the second copy showed no box");
    QVERIFY(!screen.windowShown(SelectIpDialog));
    QVERIFY(screen.xdotool({"windowfocus", box}) && screen.xdotool({"key", "Return"}));
    QVERIFY(second.waitForFinished(WaitMs));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    const QByteArray told = second.readAllStandardError();

    // The port and the area are still the first copy's.
    const DriverFunctions &host = driver.functions();
    QCOMPARE(host.Connect(), 0);
    QVERIFY(sendToProgram(artDmx(3, QByteArray("\x33\x44", 2))));
    const bool received = hostSees(3, QByteArray("\x33\x44", 2));
    host.Disconnect(DeviceId);
    QVERIFY(received);
    QVERIFY2(told.contains("Dorvantis is already running on 127.0.0.1\n"), told.constData());
}

void tst_program::signalsEndItAsQuitDoesWhileTheHostKeepsItsValues_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void tst_program::signalsEndItAsQuitDoesWhileTheHostKeepsItsValues()
{
    QFETCH(int, signalNumber);
    QVERIFY(startProgram());
    const DriverFunctions &host = driver.functions();
    QCOMPARE(host.Connect(), 0);
    const QByteArray channels = QByteArray::number(signalNumber).leftJustified(8, '\x7f');
    QVERIFY(sendToProgram(artDmx(9, channels)));
    QVERIFY(hostSees(9, channels));

    sendSignal(signalNumber);
    QVERIFY(endedWithZero());

    // The port is free again and the host still reads the last values.
    QUdpSocket port;
    QVERIFY(port.bind(QHostAddress(QHostAddress::AnyIPv4), ArtNetPort));
    QVERIFY(hostSees(9, channels));
    // With the host gone too, nothing of the area is left.
    host.Disconnect(DeviceId);
    QCOMPARE(host.Connect(), VdEthDmx::ConnectFailed);
}

void tst_program::ignoredInterruptStaysIgnored()
{
    // As a shell starts a background job.
    QVERIFY(startProgram(QStringLiteral("trap '' INT")));
    const DriverFunctions &host = driver.functions();
    QCOMPARE(host.Connect(), 0);

    sendSignal(SIGINT);
    // Still at work after the interrupt.
    QVERIFY(sendToProgram(artDmx(2, QByteArray("\x01\x02", 2))));
    QVERIFY(hostSees(2, QByteArray("\x01\x02", 2)));
    QCOMPARE(program.state(), QProcess::Running);

    sendSignal(SIGTERM);
    QVERIFY(endedWithZero());
    host.Disconnect(DeviceId);
}

QTEST_GUILESS_MAIN(tst_program)
#include "tst_program.moc"
