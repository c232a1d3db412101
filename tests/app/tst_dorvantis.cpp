#include "artnetpackets.h"
#include "datagrams.h"
#include "dorvantis.h"
#include "modalanswerer.h"
#include "programsettingstest.h"
#include "receiveoptions.h"
#include "runningunderwine.h"
#include "sacnbytes.h"
#include "sacnpackets.h"
#include "selectipdialog.h"
#include "sharedarea.h"
#include "subscribingcontroller.h"
#include "testwindow.h"
#include "wirebytes.h"

#ifdef Q_OS_LINUX
#include "peernetwork.h"

#include <QNetworkDatagram>
#endif

#include <QAction>
#include <QApplication>
#include <QHostAddress>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QUdpSocket>

#include <cstring>

namespace {

constexpr quint16 ArtNetPort = 6454;

QSystemTrayIcon *trayIconOf(dorvantis &window)
{
    return window.findChild<QSystemTrayIcon *>();
}

QAction *trayAction(dorvantis &window, const QString &text)
{
    const QList<QAction *> actions = trayIconOf(window)->contextMenu()->actions();
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QString storedAddress()
{
    QSettings settings;
    return settings.value(QStringLiteral("Network/ip"), QStringLiteral("<none>")).toString();
}

// An sACN data packet of `levels` for `universe`, as a console sends it.
QByteArray sacnLevels(int universe, const QByteArray &levels, int sequence)
{
    SacnBytes packet;
    packet.universe = universe;
    packet.levels = levels;
    packet.sequence = sequence;
    return packet.datagram();
}

QByteArray channels(const UniverseRecord &record, int count)
{
    return QByteArray(reinterpret_cast<const char *>(record.data), count);
}

} // namespace

class tst_dorvantis : public ProgramSettingsTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void startUpStoresAndUsesTheAddressHoweverTheDialogIsLeft_data();
    void startUpStoresAndUsesTheAddressHoweverTheDialogIsLeft();
    void portTakenIsToldInABoxAndTheTooltipWhileSacnRuns_data();
    void portTakenIsToldInABoxAndTheTooltipWhileSacnRuns();
    void windowHasItsTitleSizeAndMenus();
    void statusLineSurvivesALookIntoTheMenus();
    void trayActionsFollowTheWindowsVisibility();
    void closeWithoutASystemTrayReallyClosesAndEndsTheLoop();
    void receivedArtDmxReachesTheSharedArea();
    void subscribingControllerReachesEveryOfferedUniverse_data();
    void subscribingControllerReachesEveryOfferedUniverse();
    void quitReturnsZeroWithoutNoticeAndReleasesTheArea_data();
    void quitReturnsZeroWithoutNoticeAndReleasesTheArea();
    void sacnReachesTheRecordsItsSettingsMap_data();
    void sacnReachesTheRecordsItsSettingsMap();
    void sacnTurnedOffLeavesItsPortFree();
    void artNetKeepsItsRecordWhileSacnSendsToo();
#ifdef Q_OS_LINUX
    void sacnMulticastFromAConsoleReachesEveryRecord();
    void pollRepliesReachTheControllerOnItsSubnet_data();
    void pollRepliesReachTheControllerOnItsSubnet();
    void addressOnNoInterfaceKeepsTheWideBroadcast();
#endif
};

void tst_dorvantis::initTestCase()
{
    QVERIFY2(!SharedArea::exists(), "another holder of the shared area is running");
}

void tst_dorvantis::init()
{
    QSettings settings;
    settings.setValue(QStringLiteral("Network/ip"), QStringLiteral("127.0.0.9"));
    for (const char *key : {ReceiveOptions::UniversesKey, ReceiveOptions::ArtNetFirstKey,
                            ReceiveOptions::ArtNetMergeKey, ReceiveOptions::SacnKey, ReceiveOptions::SacnFirstKey})
        settings.remove(QLatin1String(key));
}

void tst_dorvantis::startUpStoresAndUsesTheAddressHoweverTheDialogIsLeft_data()
{
    addLeaveRows();
}

void tst_dorvantis::startUpStoresAndUsesTheAddressHoweverTheDialogIsLeft()
{
    QFETCH(Leave, leave);

    TestWindow::Record record;
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"), &record, leave);

    QCOMPARE(record.addressDialogs, 1);
    QVERIFY(!record.windowVisibleDuringDialog);
    QVERIFY(record.messageBoxes.isEmpty());
    QVERIFY(!window->isVisible());

    QCOMPARE(storedAddress(), QStringLiteral("127.0.0.1"));
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("ArtNet engine running on: 127.0.0.1"));
    QCOMPARE(trayIconOf(*window)->toolTip(), QStringLiteral("Dorvantis running on 127.0.0.1"));
    QVERIFY(trayIconOf(*window)->isVisible());

    // Once its address has been read, the dialog is gone.
    QVERIFY(window->findChildren<SelectIpDialog *>().isEmpty());
    for (QWidget *top : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<SelectIpDialog *>(top));
}

void tst_dorvantis::portTakenIsToldInABoxAndTheTooltipWhileSacnRuns_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("loopback") << QStringLiteral("127.0.0.1");
    QTest::newRow("nothing discovered") << QString();
}

void tst_dorvantis::portTakenIsToldInABoxAndTheTooltipWhileSacnRuns()
{
    QFETCH(QString, address);

    // Not shared, as another program may hold it: the engine's bind fails.
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, ArtNetPort, QUdpSocket::DontShareAddress));

    TestWindow::Record record;
    auto window = TestWindow::create(address, &record);
    QVERIFY(record.messageBoxes.isEmpty());
    QList<SeenBox> boxes;
    ModalAnswerer answerer(&boxes);
    QTRY_COMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("error"));
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QVERIFY(boxes[0].text.startsWith(
        QLatin1String("UDP port 6454 is in use by another program, so Dorvantis receives no Art-Net.")));
    QVERIFY(boxes[0].text.contains(QLatin1String("then start Dorvantis again")));

    QCOMPARE(storedAddress(), address);
    QCOMPARE(window->statusBar()->currentMessage(), QString());
    QCOMPARE(trayIconOf(*window)->toolTip(),
             QStringLiteral("Dorvantis is not receiving Art-Net: UDP port 6454 is in use by another program"));

    // The rest of the program comes up as usual.
    const SharedArea area(SharedArea::Mode::OpenRead);
    QVERIFY(area.isValid());
    const quint32 before = area.record(0).packetCount;
    QUdpSocket console;
    QVERIFY(console.writeDatagram(sacnLevels(1, bytes({9}), 1), QHostAddress::LocalHost, Sacn::Port) > 0);
    QTRY_COMPARE(area.record(0).packetCount, before + 1);
}

void tst_dorvantis::windowHasItsTitleSizeAndMenus()
{
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));

    QCOMPARE(window->windowTitle(), QStringLiteral("Veldara Dorvantis"));
    QCOMPARE(window->objectName(), QStringLiteral("Dorvantis"));
    // As first shown: the designed size, grown to what the text and the bars need.
    window->show();
    QCOMPARE(window->size(), QSize(474, 110).expandedTo(window->minimumSizeHint()));

    auto *label = window->findChild<QLabel *>(QStringLiteral("label"));
    QVERIFY(label);
    QCOMPARE(label->text().count(QLatin1Char('\n')), 2);
    QVERIFY(label->text().startsWith(QLatin1String("This application remains in the System Tray")));

    const QList<QAction *> menus = window->menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
    QCOMPARE(menus[1]->text(), QStringLiteral("&?"));
    QCOMPARE(menus[0]->menu()->actions().size(), 1);
    QCOMPARE(menus[0]->menu()->actions().first()->text(), QStringLiteral("&Quit"));
    QVERIFY(!menus[0]->menu()->actions().first()->icon().isNull());
    QCOMPARE(menus[1]->menu()->actions().size(), 1);
    QCOMPARE(menus[1]->menu()->actions().first()->text(), QStringLiteral("About"));

    QStringList tray;
    for (QAction *action : trayIconOf(*window)->contextMenu()->actions())
        tray << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(tray, QStringList({"Mi&nimize", "Ma&ximize", "&Restore", "-", "&Quit"}));
    QVERIFY(!trayIconOf(*window)->icon().isNull());
}

void tst_dorvantis::statusLineSurvivesALookIntoTheMenus()
{
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    window->show();
    const QString running = QStringLiteral("ArtNet engine running on: 127.0.0.1");
    QCOMPARE(window->statusBar()->currentMessage(), running);

    // What the menu bar and its menus do for the entry under the pointer.
    for (QAction *menu : window->menuBar()->actions()) {
        menu->showStatusText(window->menuBar());
        for (QAction *entry : menu->menu()->actions())
            entry->showStatusText(menu->menu());
    }
    QCOMPARE(window->statusBar()->currentMessage(), running);
}

void tst_dorvantis::trayActionsFollowTheWindowsVisibility()
{
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    QAction *minimize = trayAction(*window, QStringLiteral("Mi&nimize"));
    QAction *maximize = trayAction(*window, QStringLiteral("Ma&ximize"));
    QAction *restore = trayAction(*window, QStringLiteral("&Restore"));
    QAction *quit = trayAction(*window, QStringLiteral("&Quit"));
    QVERIFY(minimize && maximize && restore && quit);

    auto check = [&](bool shown) {
        QCOMPARE(window->isVisible(), shown);
        QCOMPARE(minimize->isEnabled(), shown);
        QCOMPARE(maximize->isEnabled(), !shown);
        QCOMPARE(restore->isEnabled(), !shown);
        QVERIFY(quit->isEnabled());
    };

    // Restore shows the window as it was before Minimize hid it.
    auto minimizeAndRestore = [&] {
        minimize->trigger();
        check(false);
        restore->trigger();
        check(true);
    };

    window->show();
    check(true);
    minimizeAndRestore();
    QVERIFY(!window->isMaximized());

    minimize->trigger();
    maximize->trigger();
    check(true);
    QVERIFY(window->isMaximized());
    minimizeAndRestore();
    QVERIFY(window->isMaximized());
}

void tst_dorvantis::closeWithoutASystemTrayReallyClosesAndEndsTheLoop()
{
    // The offscreen desktop has no system tray, as many X11 desktops have
    // none: a window hidden behind the tray notice could never come back.
    // Closing where a tray exists is tried on a real one with the built program.
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    QVERIFY(trayIconOf(*window)->isVisible());
    window->show();

    ModalAnswerer answerer([&](QWidget *dialog) { dialog->close(); });
    connect(qApp, SIGNAL(lastWindowClosed()), qApp, SLOT(quit()));
    QTimer::singleShot(0, window.get(), SLOT(close()));
    QCOMPARE(QApplication::exec(), 0);
    disconnect(qApp, SIGNAL(lastWindowClosed()), qApp, SLOT(quit()));

    QCOMPARE(answerer.answered(), 0);
    QVERIFY(!window->isVisible());
}

void tst_dorvantis::receivedArtDmxReachesTheSharedArea()
{
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    const SharedArea area(SharedArea::Mode::OpenRead); // as the driver side has it
    QVERIFY(area.isValid());
    const quint32 before = area.record(7).packetCount;

    ArtDmx packet = ArtNet::artDmx(7, 4);
    packet.sequence = 1;
    std::memcpy(packet.data, "\x11\x22\x33\x44", 4);
    const QByteArray artDmx = datagram(packet, ArtNet::DmxHeaderSize + 4);
    QUdpSocket sender;
    QCOMPARE(sender.writeDatagram(artDmx, QHostAddress(QHostAddress::LocalHost), ArtNetPort), qint64(artDmx.size()));

    // The window is hidden: data keeps flowing all the same.
    QTRY_COMPARE(area.record(7).packetCount, before + 1);
    QCOMPARE(area.record(7).length, 4);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(area.record(7).data), 4), QByteArray("\x11\x22\x33\x44"));
}

void tst_dorvantis::subscribingControllerReachesEveryOfferedUniverse_data()
{
    QTest::addColumn<QString>("stored"); // null: no setting
    QTest::addColumn<int>("first");      // artnetFirstUniverse; 0 is no setting
    QTest::addColumn<QList<int>>("offered"); // records

    QList<int> all;
    for (int u = 0; u < UniverseData::UniverseCount; ++u)
        all << u;
    QTest::newRow("no setting: all 256") << QString() << 0 << all;
    QTest::newRow("0-15, 32") << QStringLiteral("0-15, 32") << 0 << all.mid(0, 16) + QList<int>{32};
    QTest::newRow("0-15 from Port-Address 256") << QStringLiteral("0-15") << 256 << all.mid(0, 16);
}

void tst_dorvantis::subscribingControllerReachesEveryOfferedUniverse()
{
    QFETCH(QString, stored);
    QFETCH(int, first);
    QFETCH(QList<int>, offered);
    if (runningUnderWine())
        QSKIP("wine binds a socket for 127.0.0.2 to every address, so the controller on the node's port "
              "would take the node's own datagrams");

    {
        QSettings settings;
        if (!stored.isNull())
            settings.setValue(QLatin1String(ReceiveOptions::UniversesKey), stored);
        if (first != 0)
            settings.setValue(QLatin1String(ReceiveOptions::ArtNetFirstKey), first);
    }
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    const SharedArea area(SharedArea::Mode::OpenRead);
    QVERIFY(area.isValid());
    quint32 before[UniverseData::UniverseCount];
    for (int u = 0; u < UniverseData::UniverseCount; ++u)
        before[u] = area.record(u).packetCount;

    SubscribingController controller(QHostAddress(QStringLiteral("127.0.0.2")), ArtNetPort);
    QVERIFY(controller.open());
    const QMap<int, QHostAddress> subscribed = controller.poll(QHostAddress(QHostAddress::LocalHost));
    QList<int> portAddresses;
    for (int record : offered)
        portAddresses << first + record;
    QCOMPARE(subscribed.keys(), portAddresses);
    for (const QHostAddress &node : subscribed)
        QCOMPARE(node, QHostAddress(QHostAddress::LocalHost));

    // The mapper traces every packet; a few hundred lines would bury the log.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    controller.sendToSubscribers(subscribed);
    const int last = offered.last();
    QTRY_COMPARE(area.record(last).packetCount, before[last] + 1);
    QLoggingCategory::setFilterRules(QString());

    for (int u = 0; u < UniverseData::UniverseCount; ++u) {
        const UniverseRecord &record = area.record(u);
        if (!offered.contains(u)) {
            QCOMPARE(record.packetCount, before[u]);
            continue;
        }
        QCOMPARE(record.packetCount, before[u] + 1);
        QCOMPARE(record.length, 512);
        const QByteArray sent = SubscribingController::artDmx(first + u).mid(18);
        QVERIFY2(QByteArray(reinterpret_cast<const char *>(record.data), 512) == sent,
                 qPrintable(QStringLiteral("universe %1").arg(u)));
    }
}

void tst_dorvantis::quitReturnsZeroWithoutNoticeAndReleasesTheArea_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::newRow("window shown") << false;
    QTest::newRow("window hidden") << true;
}

void tst_dorvantis::quitReturnsZeroWithoutNoticeAndReleasesTheArea()
{
    QFETCH(bool, hidden);
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    window->show();
    if (hidden)
        trayAction(*window, QStringLiteral("Mi&nimize"))->trigger();
    QCOMPARE(window->isVisible(), !hidden);

    // Quit ends the program at once: no "Systray" notice on the way out.
    QStringList boxes;
    ModalAnswerer answerer([&](QWidget *dialog) {
        boxes << dialog->windowTitle();
        dialog->close();
    });
    QTimer::singleShot(0, trayAction(*window, QStringLiteral("&Quit")), SLOT(trigger()));
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(boxes, QStringList());

    QVERIFY(SharedArea::exists());
    window.reset();
    QVERIFY(!SharedArea::exists());

    // The port is free again for the next program.
    QUdpSocket next;
    QVERIFY(next.bind(QHostAddress::AnyIPv4, ArtNetPort, QUdpSocket::DontShareAddress));
}

void tst_dorvantis::sacnReachesTheRecordsItsSettingsMap_data()
{
    QTest::addColumn<QString>("first");     // Network/sacnFirstUniverse; null: none
    QTest::addColumn<QString>("universes"); // Network/universes; null: none
    QTest::addColumn<int>("universe");      // the sACN universe sent
    QTest::addColumn<int>("record");        // where it lands; -1: nowhere
    QTest::addColumn<int>("sentinel");      // a universe sent after it, which lands in
    QTest::addColumn<int>("sentinelRecord"); // this other record

    QTest::newRow("universe 1 is record 0") << QString() << QString() << 1 << 0 << 2 << 1;
    QTest::newRow("universe 256 is record 255") << QString() << QString() << 256 << 255 << 1 << 0;
    QTest::newRow("universe 257 has no record") << QString() << QString() << 257 << -1 << 1 << 0;
    QTest::newRow("first 10: universe 10 is record 0") << QStringLiteral("10") << QString() << 10 << 0 << 11 << 1;
    QTest::newRow("first 10: universe 9 has no record") << QStringLiteral("10") << QString() << 9 << -1 << 10 << 0;
    QTest::newRow("0-15 offered: record 15 fed") << QString() << QStringLiteral("0-15") << 16 << 15 << 1 << 0;
    QTest::newRow("0-15 offered: record 16 not fed") << QString() << QStringLiteral("0-15") << 17 << -1 << 1 << 0;
}

void tst_dorvantis::sacnReachesTheRecordsItsSettingsMap()
{
    QFETCH(QString, first);
    QFETCH(QString, universes);
    QFETCH(int, universe);
    QFETCH(int, record);
    QFETCH(int, sentinel);
    QFETCH(int, sentinelRecord);

    {
        QSettings settings;
        if (!first.isNull())
            settings.setValue(QLatin1String(ReceiveOptions::SacnFirstKey), first);
        if (!universes.isNull())
            settings.setValue(QLatin1String(ReceiveOptions::UniversesKey), universes);
    }
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    const SharedArea area(SharedArea::Mode::OpenRead);
    QVERIFY(area.isValid());
    const QByteArray before(reinterpret_cast<const char *>(area.bytes()), int(UniverseData::AreaSize));
    const quint32 sentinelCount = area.record(sentinelRecord).packetCount;

    QUdpSocket console;
    const QByteArray levels = bytes({0x11, 0x22, 0x33, 0x44, 0x55});
    QVERIFY(console.writeDatagram(sacnLevels(universe, levels, 1), QHostAddress::LocalHost, Sacn::Port) > 0);
    // The receiver takes datagrams in order: once the sentinel is in, so is the first.
    QVERIFY(console.writeDatagram(sacnLevels(sentinel, bytes({0x7f}), 1), QHostAddress::LocalHost, Sacn::Port) > 0);
    QTRY_COMPARE(area.record(sentinelRecord).packetCount, sentinelCount + 1);

    for (int r = 0; r < UniverseData::UniverseCount; ++r) {
        if (r == sentinelRecord)
            continue;
        const UniverseRecord &now = area.record(r);
        const auto &was = *reinterpret_cast<const UniverseRecord *>(before.constData() + r * UniverseData::RecordSize);
        if (r != record) {
            QVERIFY2(std::memcmp(&now, &was, sizeof now) == 0, qPrintable(QStringLiteral("record %1").arg(r)));
            continue;
        }
        QCOMPARE(now.packetCount, was.packetCount + 1);
        QCOMPARE(now.length, 5);
        QCOMPARE(channels(now, 5), levels);
    }
}

void tst_dorvantis::sacnTurnedOffLeavesItsPortFree()
{
    {
        QSettings settings;
        settings.setValue(QLatin1String(ReceiveOptions::SacnKey), QStringLiteral("false"));
    }
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, Sacn::Port, QUdpSocket::DontShareAddress));
}

void tst_dorvantis::artNetKeepsItsRecordWhileSacnSendsToo()
{
    auto window = TestWindow::create(QStringLiteral("127.0.0.1"));
    const SharedArea area(SharedArea::Mode::OpenRead);
    QVERIFY(area.isValid());
    const quint32 before = area.record(0).packetCount;

    QUdpSocket console;
    const QByteArray artDmx = datagram(ArtNet::artDmx(0, 4, 0xa0, 1), ArtNet::DmxHeaderSize + 4);
    QVERIFY(console.writeDatagram(artDmx, QHostAddress::LocalHost, ArtNetPort) > 0);
    QTRY_COMPARE(area.record(0).packetCount, before + 1);

    // sACN universe 1 is record 0, held by Art-Net; universe 2 is free.
    const quint32 free = area.record(1).packetCount;
    QVERIFY(console.writeDatagram(sacnLevels(1, bytes({1, 2, 3, 4}), 1), QHostAddress::LocalHost, Sacn::Port) > 0);
    QVERIFY(console.writeDatagram(sacnLevels(2, bytes({5, 6}), 1), QHostAddress::LocalHost, Sacn::Port) > 0);
    QTRY_COMPARE(area.record(1).packetCount, free + 1);
    QCOMPARE(area.record(0).packetCount, before + 1);
    QCOMPARE(channels(area.record(0), 4), bytes({0xa0, 0xa1, 0xa2, 0xa3}));
}

#ifdef Q_OS_LINUX
// A console on the PC's network sends every universe to its multicast group,
// as sACN consoles do by default: each lands in its record once.
void tst_dorvantis::sacnMulticastFromAConsoleReachesEveryRecord()
{
    PeerNetwork network(QStringLiteral("192.168.1.10/24"), QStringLiteral("192.168.1.1/24"));
    QVERIFY2(network.isReady(), qPrintable(network.error()));
    auto window = TestWindow::createOn(network, QStringLiteral("192.168.1.10"));
    const SharedArea area(SharedArea::Mode::OpenRead);
    QVERIFY(area.isValid());
    quint32 before[UniverseData::UniverseCount];
    for (int r = 0; r < UniverseData::UniverseCount; ++r)
        before[r] = area.record(r).packetCount;

    QUdpSocket console;
    QVERIFY(network.bindInPeer(console, QHostAddress(QStringLiteral("192.168.1.1"))));
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false")); // a line per new source
    for (int universe = 1; universe <= UniverseData::UniverseCount; ++universe) {
        const QByteArray levels = bytes({universe >> 8, universe & 0xff, 0xc8});
        const QHostAddress group(Sacn::multicastGroup(quint16(universe)));
        QVERIFY(console.writeDatagram(sacnLevels(universe, levels, 1), group, Sacn::Port) > 0);
        if (universe % 16 == 0)
            QCoreApplication::processEvents();
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (int r = 0; r < UniverseData::UniverseCount; ++r) {
                if (area.record(r).packetCount == before[r])
                    return false;
            }
            return true;
        }(),
        10000);
    QLoggingCategory::setFilterRules(QString());
    for (int r = 0; r < UniverseData::UniverseCount; ++r) {
        const int universe = r + 1;
        QCOMPARE(area.record(r).packetCount, before[r] + 1);
        QCOMPARE(channels(area.record(r), 3), bytes({universe >> 8, universe & 0xff, 0xc8}));
    }
}

void tst_dorvantis::pollRepliesReachTheControllerOnItsSubnet_data()
{
    QTest::addColumn<QString>("node");       // the address chosen, with its interface's prefix
    QTest::addColumn<QString>("controller"); // on the other end of the cable
    QTest::addColumn<QString>("broadcast");  // where replies to a broadcast poll go

    QTest::newRow("home network, /24") << "192.168.1.10/24" << "192.168.1.1/24" << "192.168.1.255";
    QTest::newRow("console cabled straight, link-local /16") << "169.254.20.2/16" << "169.254.10.1/16"
                                                             << "169.254.255.255";
    QTest::newRow("/12") << "172.31.9.9/12" << "172.16.5.1/12" << "172.31.255.255";
    QTest::newRow("Art-Net's own 2.x, /8") << "2.0.0.10/8" << "2.0.0.1/8" << "2.255.255.255";
}

// A controller on its own host polls as most do, TalkToMe bit 0 clear: the
// answer, the own reply and the 64 bound replies, comes on its subnet's
// broadcast address. With bit 0 set it comes to the controller itself.
void tst_dorvantis::pollRepliesReachTheControllerOnItsSubnet()
{
    QFETCH(QString, node);
    QFETCH(QString, controller);
    QFETCH(QString, broadcast);
    const QString nodeAddress = node.section(QLatin1Char('/'), 0, 0);
    const QHostAddress controllerAddress(controller.section(QLatin1Char('/'), 0, 0));

    PeerNetwork network(node, controller);
    QVERIFY2(network.isReady(), qPrintable(network.error()));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("ArtNet replies to broadcast address ") + broadcast));
    auto window = TestWindow::createOn(network, nodeAddress);

    QUdpSocket console;
    QVERIFY(network.bindInPeer(console, QHostAddress::AnyIPv4, ArtNetPort));
    const int answer = 1 + 64;
    for (const quint8 talkToMe : {quint8(0x00), quint8(0x01)}) {
        const QHostAddress expected = talkToMe ? controllerAddress : QHostAddress(broadcast);
        const QByteArray poll = datagram(ArtNet::artPoll(talkToMe));
        QVERIFY(console.writeDatagram(poll, QHostAddress(nodeAddress), ArtNetPort) > 0);
        QList<QNetworkDatagram> replies;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                while (console.hasPendingDatagrams())
                    replies << console.receiveDatagram();
                return replies.size() >= answer;
            }(),
            10000);
        QCOMPARE(replies.size(), answer);
        for (const QNetworkDatagram &reply : replies) {
            QCOMPARE(reply.destinationAddress(), expected);
            QCOMPARE(reply.senderAddress(), QHostAddress(nodeAddress));
            QCOMPARE(reply.data().left(10), QByteArray("Art-Net\0\x00\x21", 10));
        }
    }
}

void tst_dorvantis::addressOnNoInterfaceKeepsTheWideBroadcast()
{
    // The address stored from another network: no interface holds it, not
    // even the one on its subnet.
    PeerNetwork network(QStringLiteral("192.168.1.10/24"), QStringLiteral("192.168.1.1/24"));
    QVERIFY2(network.isReady(), qPrintable(network.error()));
    QTest::ignoreMessage(QtDebugMsg, "ArtNet replies to broadcast address 192.255.255.255");
    auto window = TestWindow::createOn(network, QStringLiteral("192.168.1.99"));
}
#endif

QTEST_MAIN(tst_dorvantis)
#include "tst_dorvantis.moc"
