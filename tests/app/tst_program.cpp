// The built program as a user and a visualiser host meet it: started on a
// display of its own (Xvfb), the address dialog answered from outside with
// the keyboard, Art-Net sent to it over loopback, the channels read back
// through the driver library by the test host, and Quit chosen from its menu.

#include "localaddresses.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>

namespace {

constexpr quint16 ArtNetPort = 6454;
constexpr int WaitMs = 20000;

} // namespace

class tst_program : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startsAfterTheAddressIsChosenFromTheKeyboard();
    void artDmxReachesTheDriverLibrary();
    void artPollIsAnsweredWithTheProgramsReply();
    void quitFromTheMenuEndsWithZeroAndReleasesTheArea();

private:
    QProcessEnvironment displayEnvironment() const;
    // Runs xdotool; true when it succeeded in time. Its output goes to output.
    bool xdotool(const QStringList &arguments, QString *output = nullptr, int timeoutMs = WaitMs);
    // The first window whose name matches the pattern, waiting for one to appear.
    QString waitForWindow(const QString &namePattern);
    bool windowShown(const QString &namePattern);
    QString readUniverse(int universe);

    QTemporaryDir home;
    QProcess xvfb;
    QProcess program;
    QString display;
};

QProcessEnvironment tst_program::displayEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    return env;
}

bool tst_program::xdotool(const QStringList &arguments, QString *output, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(displayEnvironment());
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString tst_program::waitForWindow(const QString &namePattern)
{
    QString windows;
    if (!xdotool({"search", "--sync", "--onlyvisible", "--name", namePattern}, &windows))
        return QString();
    return windows.section(QLatin1Char('\n'), 0, 0);
}

bool tst_program::windowShown(const QString &namePattern)
{
    return xdotool({"search", "--onlyvisible", "--name", namePattern});
}

QString tst_program::readUniverse(int universe)
{
    QProcess host;
    host.start(QStringLiteral(DRIVER_TEST_HOST), {QStringLiteral(DRIVER_LIBRARY), QString::number(universe)});
    if (!host.waitForFinished(WaitMs))
        return QString();
    return QString::fromLocal8Bit(host.readAllStandardOutput());
}

void tst_program::initTestCase()
{
    for (const char *tool : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
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

    // Xvfb picks a free display number and writes it to its standard output.
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                       QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                       QStringLiteral("1024x768x24")});
    QVERIFY(xvfb.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), WaitMs);
    display = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine()).trimmed();
}

void tst_program::cleanupTestCase()
{
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished();
    }
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        if (!xvfb.waitForFinished(5000)) {
            xvfb.kill();
            xvfb.waitForFinished();
        }
    }
}

void tst_program::startsAfterTheAddressIsChosenFromTheKeyboard()
{
    program.setProcessEnvironment(displayEnvironment());
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(DORVANTIS_PROGRAM), QStringList());
    QVERIFY(program.waitForStarted());

    const QString dialog = waitForWindow(QStringLiteral("^Select IP$"));
    QVERIFY2(!dialog.isEmpty(), "the address dialog did not appear");
    // The main window waits for the dialog.
    QVERIFY(!windowShown(QStringLiteral("^Veldara Dorvantis$")));

    // The dialog takes the keyboard focus as it opens; Return presses its Ok.
    QVERIFY(xdotool({"windowfocus", dialog}));
    QVERIFY(xdotool({"key", "Return"}));

    QVERIFY2(!waitForWindow(QStringLiteral("^Veldara Dorvantis$")).isEmpty(), "the main window did not appear");
    QVERIFY(!windowShown(QStringLiteral("^Select IP$")));

    QFile settings(home.filePath(QStringLiteral(".config/Veldara Orvik/Dorvantis.conf")));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(settings.readAll().contains("ip=127.0.0.1"));
}

void tst_program::artDmxReachesTheDriverLibrary()
{
    QVERIFY(program.state() == QProcess::Running);

    const QByteArray artDmx("Art-Net\0"              // id
                            "\x00\x50"               // opCode 0x5000, low byte first
                            "\x00\x0e"               // protocol version 14
                            "\x00"                   // sequence
                            "\x00"                   // physical
                            "\x05\x00"               // universe 5, low byte first
                            "\x00\x06"               // length 6, high byte first
                            "\x0a\x14\x1e\x28\xff\x01", // channels 1 to 6
                            24);
    QUdpSocket sender;
    QCOMPARE(sender.writeDatagram(artDmx, QHostAddress(QHostAddress::LocalHost), ArtNetPort), qint64(artDmx.size()));

    const QString expected = QStringLiteral("universe 5: 6 channels\n  001: 0a 14 1e 28 ff 01\n");
    QTRY_VERIFY_WITH_TIMEOUT(readUniverse(5).contains(expected), WaitMs);
}

void tst_program::artPollIsAnsweredWithTheProgramsReply()
{
    QVERIFY(program.state() == QProcess::Running);

    // Another node on this machine, listening on the Art-Net port of its own
    // loopback address, next to the program's wildcard socket.
    QUdpSocket poller;
    QVERIFY(poller.bind(QHostAddress(QStringLiteral("127.0.0.2")), ArtNetPort,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    QSignalSpy arrived(&poller, SIGNAL(readyRead()));

    const QByteArray artPoll("Art-Net\0"   // id
                             "\x00\x20"    // opCode 0x2000, low byte first
                             "\x00\x0e"    // protocol version 14
                             "\x01"        // talkToMe: bit 0, reply to the poller
                             "\x00",       // priority
                             14);
    QCOMPARE(poller.writeDatagram(artPoll, QHostAddress(QHostAddress::LocalHost), ArtNetPort), qint64(14));
    QVERIFY(arrived.wait(WaitMs));

    const QNetworkDatagram reply = poller.receiveDatagram();
    const QByteArray bytes = reply.data();
    QCOMPARE(bytes.size(), 239);
    QCOMPARE(reply.senderPort(), int(ArtNetPort));
    QCOMPARE(bytes.left(8), QByteArray("Art-Net\0", 8));
    QCOMPARE(bytes.mid(8, 2), QByteArray("\x00\x21", 2));         // ArtPollReply, low byte first
    QCOMPARE(bytes.mid(10, 4), QByteArray("\x7f\x00\x00\x01", 4)); // 127.0.0.1
    QCOMPARE(bytes.mid(14, 2), QByteArray("\x36\x19", 2));         // port 6454, low byte first
    QCOMPARE(bytes.mid(26, 18), QByteArray("Dorvantis").leftJustified(18, '\0'));
    QCOMPARE(bytes.mid(44, 64), QByteArray("Veldara Dorvantis 1.3").leftJustified(64, '\0'));
    QCOMPARE(int(bytes.at(200)), 6);                                // style
}

void tst_program::quitFromTheMenuEndsWithZeroAndReleasesTheArea()
{
    QVERIFY(program.state() == QProcess::Running);

    const QString window = waitForWindow(QStringLiteral("^Veldara Dorvantis$"));
    QVERIFY(!window.isEmpty());
    // Without a window manager nothing hands the main window the focus, and
    // keys typed before the program has taken note of it go nowhere: try
    // again until "&File" opens its menu, whose only, highlighted entry is Quit.
    bool menuOpen = false;
    for (int attempt = 0; attempt < 10 && !menuOpen; ++attempt) {
        QVERIFY(xdotool({"windowfocus", window}));
        QVERIFY(xdotool({"key", "alt+f"}));
        // The menu is a second visible window of the program.
        QString windows;
        QDeadlineTimer deadline(2000);
        while (!menuOpen && !deadline.hasExpired()) {
            QVERIFY(xdotool({"search", "--onlyvisible", "--classname", "^Dorvantis$"}, &windows));
            menuOpen = windows.split(QLatin1Char('\n')).size() > 1;
        }
    }
    QVERIFY2(menuOpen, "the File menu did not open");
    QVERIFY(xdotool({"key", "Return"}));

    QVERIFY(program.waitForFinished(WaitMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    QVERIFY(readUniverse(0).contains(QLatin1String("connect failed")));
}

QTEST_GUILESS_MAIN(tst_program)
#include "tst_program.moc"
