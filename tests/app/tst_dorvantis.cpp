#include "artnetpackets.h"
#include "dorvantis.h"
#include "modalanswerer.h"
#include "programsettingstest.h"
#include "runningunderwine.h"
#include "selectipdialog.h"
#include "sharedarea.h"
#include "subscribingcontroller.h"
#include "testwindow.h"
#include "universesetting.h"

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

} // namespace

class tst_dorvantis : public ProgramSettingsTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void startUpStoresAndUsesTheAddressHoweverTheDialogIsLeft_data();
    void startUpStoresAndUsesTheAddressHoweverTheDialogIsLeft();
    void portTakenLeavesTheStatusEmptyButTheTooltipNamed_data();
    void portTakenLeavesTheStatusEmptyButTheTooltipNamed();
    void windowHasItsTitleSizeAndMenus();
    void statusLineSurvivesALookIntoTheMenus();
    void trayActionsFollowTheWindowsVisibility();
    void closeWithoutASystemTrayReallyClosesAndEndsTheLoop();
    void receivedArtDmxReachesTheSharedArea();
    void subscribingControllerReachesEveryOfferedUniverse_data();
    void subscribingControllerReachesEveryOfferedUniverse();
    void quitReturnsZeroWithoutNoticeAndReleasesTheArea_data();
    void quitReturnsZeroWithoutNoticeAndReleasesTheArea();
};

void tst_dorvantis::initTestCase()
{
    QVERIFY2(!SharedArea::exists(), "another holder of the shared area is running");
}

void tst_dorvantis::init()
{
    QSettings settings;
    settings.setValue(QStringLiteral("Network/ip"), QStringLiteral("127.0.0.9"));
    settings.remove(QLatin1String(UniverseSetting::Key));
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

void tst_dorvantis::portTakenLeavesTheStatusEmptyButTheTooltipNamed_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("loopback") << QStringLiteral("127.0.0.1");
    QTest::newRow("nothing discovered") << QString();
}

void tst_dorvantis::portTakenLeavesTheStatusEmptyButTheTooltipNamed()
{
    QFETCH(QString, address);

    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, ArtNetPort, QUdpSocket::DontShareAddress));

    TestWindow::Record record;
    auto window = TestWindow::create(address, &record);

    QVERIFY(record.messageBoxes.isEmpty());
    QCOMPARE(storedAddress(), address);
    QCOMPARE(window->statusBar()->currentMessage(), QString());
    QCOMPARE(trayIconOf(*window)->toolTip(), QStringLiteral("Dorvantis running on ") + address);

    // The rest of the program comes up as usual.
    window->show();
    QVERIFY(window->isVisible());
    QVERIFY(SharedArea::exists());
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
    const QByteArray artDmx = ArtNet::datagram(packet, ArtNet::DmxHeaderSize + 4);
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
    QTest::addColumn<QList<int>>("offered");

    QList<int> all;
    for (int u = 0; u < UniverseData::UniverseCount; ++u)
        all << u;
    QTest::newRow("no setting: all 256") << QString() << all;
    QTest::newRow("0-15, 32") << QStringLiteral("0-15, 32") << all.mid(0, 16) + QList<int>{32};
}

void tst_dorvantis::subscribingControllerReachesEveryOfferedUniverse()
{
    QFETCH(QString, stored);
    QFETCH(QList<int>, offered);
    if (runningUnderWine())
        QSKIP("wine binds a socket for 127.0.0.2 to every address, so the controller on the node's port "
              "would take the node's own datagrams");

    if (!stored.isNull()) {
        QSettings settings;
        settings.setValue(QLatin1String(UniverseSetting::Key), stored);
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
    QCOMPARE(subscribed.keys(), offered);
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
        const QByteArray sent = SubscribingController::artDmx(u).mid(18);
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

QTEST_MAIN(tst_dorvantis)
#include "tst_dorvantis.moc"
