#include "dorvantis.h"

#include "artnetengine.h"
#include "receivepipeline.h"
#include "sacnreceiver.h"
#include "selectipdialog.h"
#include "ui_about.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHostAddress>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// The one version number the program shows: in its ArtPollReply long name
// and in the About box.
const char Version[] = "1.3";

} // namespace

dorvantis::dorvantis(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    ui.setupUi(this);
    // The form asks for its designed size, but never less than its contents need.
    resize(size().expandedTo(minimumSizeHint()));
    // An icon of the window's own, empty: the application icon is a separate setting.
    setWindowIcon(QIcon());

    setObjectName(QStringLiteral("Dorvantis"));
    setWindowTitle(tr("Veldara Dorvantis"));

    setupArtNet();
    createActions();
    createMenus();

    universeMapper = receivePipeline->linkArea(this);
    setupSacn();
    if (!receivePipeline->publishState())
        qDebug("The state section for monitors cannot be made: Dorvantis Monitor will not see this program");

    createTrayIcon();
    trayIcon->show();

    // Once the event loop runs, so that sACN is taken and signals end the
    // program while the box is open.
    if (!artNetFailure.isEmpty())
        QTimer::singleShot(0, this, SLOT(showArtNetFailure()));
}

dorvantis::~dorvantis()
{
    // Unmaps and closes the shared area. The engine goes too, so that the
    // Art-Net port is free again as soon as the window is gone.
    delete receivePipeline;
}

void dorvantis::setupArtNet()
{
    QString address;
    {
        // Only the address is needed from the dialog; it is released right after.
        SelectIpDialog dialog(nullptr, Qt::WindowFlags());
        dialog.exec();
        address = dialog.ui.ipComboBox->currentText();
    }

    {
        QSettings settings;
        settings.beginGroup(QStringLiteral("Network"));
        settings.setValue(QStringLiteral("ip"), address);
        settings.endGroup();
    }

    selectedIp = address;
    QCoreApplication::setApplicationVersion(QLatin1String(Version));

    // The settings are read once, here; the receive path is built from them.
    receivePipeline = new ReceivePipeline(ReceiveOptions::read(QSettings(), QHostAddress(address)), this);
    artNetEngine = receivePipeline->engine();
    artNetEngine->setShortName(QStringLiteral("Dorvantis"));
    artNetEngine->setLongName(QStringLiteral("Veldara Dorvantis %1").arg(QLatin1String(Version)));

    if (receivePipeline->startArtNet()) {
        qDebug("ArtNet engine running\n");
        ui.statusBar->showMessage(tr("ArtNet engine running on: %1").arg(address), 0);
    } else {
        artNetFailure = receivePipeline->artNetFailure();
        qDebug("ArtNet engine not running: %s", qPrintable(artNetFailure));
    }
}

void dorvantis::showArtNetFailure()
{
    QMessageBox::critical(nullptr, tr("error"),
                          tr("%1, so Dorvantis receives no Art-Net.\n\n"
                             "Close the other program that receives Art-Net on this PC (often the console or "
                             "visualiser software) or turn its Art-Net input off, then start Dorvantis again. "
                             "Dorvantis Monitor names the program that holds the port.")
                              .arg(artNetFailure),
                          QMessageBox::Ok, QMessageBox::NoButton);
}

void dorvantis::setupSacn()
{
    const ReceiveOptions &options = receivePipeline->options();
    if (!options.sacn) {
        qDebug("sACN receiver off (%s)", ReceiveOptions::SacnKey);
        return;
    }
    if (receivePipeline->startSacn())
        qDebug("sACN receiver running on port %d: universe %d feeds record 0; %d multicast groups joined",
               options.sacnPort, options.sacnFirst, receivePipeline->sacnReceiver()->joinedGroups());
    else
        qDebug("sACN receiver: UDP port %d cannot be bound", options.sacnPort);
}

void dorvantis::createActions()
{
    minimizeAction = new QAction(tr("Mi&nimize"), this);
    connect(minimizeAction, SIGNAL(triggered()), this, SLOT(hide()));

    maximizeAction = new QAction(tr("Ma&ximize"), this);
    connect(maximizeAction, SIGNAL(triggered()), this, SLOT(showMaximized()));

    restoreAction = new QAction(tr("&Restore"), this);
    connect(restoreAction, SIGNAL(triggered()), this, SLOT(show()));

    aboutAction = new QAction(tr("About"), this);
    connect(aboutAction, SIGNAL(triggered()), this, SLOT(slotAbout()));

    quitAction = new QAction(tr("&Quit"), this);
    quitAction->setIcon(QIcon(QStringLiteral(":/action_icon/quit.png")));
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6's quit() first asks every shown window to close, which this window
    // answers with the tray notice instead of ending; exit() ends the event
    // loop at once, as quit() does in Qt 5.
    connect(quitAction, SIGNAL(triggered()), qApp, SLOT(exit()));
#else
    connect(quitAction, SIGNAL(triggered()), qApp, SLOT(quit()));
#endif
}

void dorvantis::createMenus()
{
    QMenu *fileMenu = ui.menuBar->addMenu(tr("&File"));
    fileMenu->addAction(quitAction);

    QMenu *helpMenu = ui.menuBar->addMenu(tr("&?"));
    helpMenu->addAction(aboutAction);
}

void dorvantis::createTrayIcon()
{
    trayIconMenu = new QMenu(this);
    trayIconMenu->addAction(minimizeAction);
    trayIconMenu->addAction(maximizeAction);
    trayIconMenu->addAction(restoreAction);
    trayIconMenu->addSeparator();
    trayIconMenu->addAction(quitAction);

    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setContextMenu(trayIconMenu);
    trayIcon->setIcon(QIcon(QStringLiteral(":/dorvantis/icon.png")));
    trayIcon->setToolTip(artNetFailure.isEmpty() ? tr("Dorvantis running on %1").arg(selectedIp)
                                                 : tr("Dorvantis is not receiving Art-Net: %1").arg(artNetFailure));
}

void dorvantis::setVisible(bool visible)
{
    minimizeAction->setEnabled(visible);
    maximizeAction->setEnabled(!visible);
    restoreAction->setEnabled(!visible);
    QMainWindow::setVisible(visible);
}

bool dorvantis::event(QEvent *event)
{
    // Menus announce every entry they pass over with its status tip, an empty
    // one here, and the status bar would take that as a new message: the
    // engine's status line would vanish for good at the first look into a menu.
    if (event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent *>(event)->tip().isEmpty())
        return true;
    return QMainWindow::event(event);
}

void dorvantis::closeEvent(QCloseEvent *event)
{
    // Without the tray icon, or on a desktop with no system tray to show it
    // in, a hidden window could never be reached again: let the close happen,
    // which ends the program.
    if (!trayIcon->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable())
        return;

    QMessageBox::information(this, tr("Systray"),
                             tr("The program will keep running in the system tray. To terminate the program, "
                                "choose <b>Quit</b> in the context menu that pops up when clicking this "
                                "program's entry in the system tray."),
                             QMessageBox::Ok, QMessageBox::NoButton);
    hide();
    event->ignore();
}

void dorvantis::slotAbout()
{
    // A fresh box each time, a window of its own rather than a child of this one.
    QDialog dialog(nullptr, Qt::WindowFlags());
    Ui::About about;
    about.setupUi(&dialog);
    dialog.setWindowIcon(QIcon());
    dialog.resize(dialog.size().expandedTo(dialog.minimumSizeHint()));

    about.version->setTextFormat(Qt::PlainText);
    about.version->setText(QStringLiteral("Version %1").arg(QLatin1String(Version)));

    dialog.exec();
}
