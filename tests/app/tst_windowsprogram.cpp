// The Windows build where it will live, under wine on a display of its own:
// Dorvantis.exe finds its addresses through Winsock, is answered from outside
// like a user would, answers an ArtPoll from the Linux side, and writes the
// ArtDmx it receives into the real Windows named section, where a 32-bit host
// under the same wineserver reads it through VdEthDMX.dll. Screenshots of the
// three windows are left in the build folder.

#include "programprobe.h"
#include "virtualdisplay.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

namespace {

using ProgramProbe::ArtNetPort;
constexpr int WaitMs = 30000;
const QString MainWindow = QStringLiteral("^Veldara Dorvantis$");
const QString ProgramClass = QStringLiteral("dorvantis\\.exe");
const QString WindowsBuild = QStringLiteral(DORVANTIS_WINDOWS_BUILD);

QString windowsFile(const char *relative)
{
    return WindowsBuild + QLatin1Char('/') + QLatin1String(relative);
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
    void artDmxReachesA32BitHostThroughTheDriverLibrary();
    void showsItsAboutBox();
    void quitFromTheFileMenuEndsWithZeroAndTheHostCannotConnect();

private:
    QProcessEnvironment wineEnvironment() const;
    bool runWine(const QStringList &arguments, QString *output = nullptr, int timeoutMs = WaitMs);
    QString readThroughHost(int universe);
    bool openFileMenu(const QString &window);

    QTemporaryDir work;
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
    return screen.run(QStringLiteral("wine"), arguments, output, timeoutMs, wineEnvironment());
}

QString tst_windowsprogram::readThroughHost(int universe)
{
    QString output;
    runWine({windowsFile("win32/tools/drivertesthost.exe"), windowsFile("win32/driver/VdEthDMX.dll"),
             QString::number(universe)},
            &output);
    return output;
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
    for (const char *file : {"app/Dorvantis.exe", "win32/driver/VdEthDMX.dll", "win32/tools/drivertesthost.exe"}) {
        if (!QFile::exists(windowsFile(file)))
            QSKIP(qPrintable(windowsFile(file) + QLatin1String(" is not built")));
    }
    QStringList missing = VirtualDisplay::missingTools();
    for (const char *tool : {"wine", "wineboot", "wineserver"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            missing << QLatin1String(tool);
    }
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing.join(QLatin1String(", ")) + QLatin1String(" not installed")));

    QVERIFY(work.isValid());
    QVERIFY(QDir().mkpath(QStringLiteral(SCREENSHOT_DIR)));
    QVERIFY(screen.start());

    // A prefix of this test's own, so that its wineserver (which owns the
    // sockets of the programs it serves) lives in this test's network.
    QProcess boot;
    boot.setProcessEnvironment(wineEnvironment());
    boot.start(QStringLiteral("wineboot"), {QStringLiteral("--init")});
    QVERIFY(boot.waitForFinished(180000));
    QCOMPARE(boot.exitCode(), 0);
    // Windows' own interface font, so that the windows look as they will there.
    const QString fonts = work.filePath(QStringLiteral("prefix/drive_c/windows/Fonts/"));
    for (const char *font : {"tahoma.ttf", "tahomabd.ttf"})
        QFile::copy(QLatin1String("/usr/share/wine/fonts/") + QLatin1String(font), fonts + QLatin1String(font));
    // The previous choice, where the Windows program keeps its settings.
    QVERIFY(runWine({"reg", "add", "HKCU\\Software\\Veldara Orvik\\Dorvantis\\Network", "/v", "ip", "/d",
                     "127.0.0.1", "/f"}));
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
    program.start(QStringLiteral("wine"), {windowsFile("app/Dorvantis.exe")});
    QVERIFY(program.waitForStarted());

    const QString dialog = screen.waitForWindow(QStringLiteral("^Select IP$"), WaitMs);
    QVERIFY2(!dialog.isEmpty(), "the address dialog did not appear");
    QVERIFY(!screen.windowShown(MainWindow));
    screen.screenshot(dialog, QStringLiteral(SCREENSHOT_DIR "/wine-select-ip.png"));

    QVERIFY(screen.xdotool({"windowfocus", dialog}));
    QVERIFY(screen.xdotool({"key", "Return"}));
    mainWindow = screen.waitForWindow(MainWindow, WaitMs);
    QVERIFY2(!mainWindow.isEmpty(), "the main window did not appear");

    // Discovery's trace and the start-up's, through standard output and error.
    QTRY_VERIFY_WITH_TIMEOUT((programOutput += QString::fromLocal8Bit(program.readAll()))
                                 .contains(QLatin1String("ArtNet engine running")),
                             WaitMs);
    QVERIFY2(programOutput.contains(QLatin1String("found ip 127.0.0.1")), qPrintable(programOutput));
    QString stored;
    QVERIFY(runWine({"reg", "query", "HKCU\\Software\\Veldara Orvik\\Dorvantis\\Network", "/v", "ip"}, &stored));
    QVERIFY(stored.contains(QLatin1String("127.0.0.1")));
    screen.screenshot(mainWindow, QStringLiteral(SCREENSHOT_DIR "/wine-main-window.png"));
}

void tst_windowsprogram::answersAnArtPollFromTheLinuxSide()
{
    QVERIFY(program.state() == QProcess::Running);
    ProgramProbe::verifyAnswersPoll(WaitMs);
}

void tst_windowsprogram::artDmxReachesA32BitHostThroughTheDriverLibrary()
{
    QVERIFY(program.state() == QProcess::Running);
    const QByteArray artDmx = ProgramProbe::artDmx(5, QByteArray("\x0a\x14\x1e\x28\xff\x01", 6));
    QUdpSocket sender;
    QCOMPARE(sender.writeDatagram(artDmx, QHostAddress(QHostAddress::LocalHost), ArtNetPort), qint64(artDmx.size()));
    const QString expected = QStringLiteral("universe 5: 6 channels\n  001: 0a 14 1e 28 ff 01\n");
    QString seen;
    QTRY_VERIFY2_WITH_TIMEOUT((seen = readThroughHost(5)).replace(QLatin1String("\r\n"), QLatin1String("\n"))
                                  .contains(expected),
                              qPrintable(seen), WaitMs);
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
    screen.screenshot(about, QStringLiteral(SCREENSHOT_DIR "/wine-about.png"));
    QVERIFY(screen.xdotool({"windowfocus", about}));
    QVERIFY(screen.xdotool({"key", "Escape"}));
    QTRY_VERIFY_WITH_TIMEOUT(screen.windowsOfClass(ProgramClass).size() == 1, WaitMs);
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
