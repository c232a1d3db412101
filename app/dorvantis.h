#ifndef DORVANTIS_H
#define DORVANTIS_H

#include "ui_dorvantis.h"

#include <QMainWindow>
#include <QString>

class ArtNetEngine;
class ReceivePipeline;
class UniverseMapper;
class QAction;
class QCloseEvent;
class QMenu;
class QSystemTrayIcon;

// The program's main window and the owner of everything it runs. Its
// constructor asks for the address to work on, starts the Art-Net node,
// creates the shared universe data area and links the two, then starts the
// sACN receiver beside the node, into the same area; the window itself
// shows a fixed text and where the node listens. When the Art-Net port
// cannot be had, the rest comes up all the same, and a box and the tray
// icon's tooltip say why no Art-Net arrives. Closing it only hides it
// while its tray icon is up in a system tray: the program then ends through
// Quit. On a desktop without a system tray closing it ends the program.
class dorvantis : public QMainWindow
{
    Q_OBJECT

public:
    explicit dorvantis(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~dorvantis() override;

    // Keeps the tray menu's Minimize, Maximize and Restore in step with the window.
    void setVisible(bool visible) override;

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void slotAbout();
    void showArtNetFailure();

private:
    void setupArtNet();
    void setupSacn();
    void createActions();
    void createMenus();
    void createTrayIcon();

    Ui::dorvantisClass ui;
    // The engine and the area writer belong to the receive pipeline.
    ReceivePipeline *receivePipeline = nullptr;
    ArtNetEngine *artNetEngine = nullptr;
    UniverseMapper *universeMapper = nullptr;
    QAction *minimizeAction = nullptr;
    QAction *maximizeAction = nullptr;
    QAction *restoreAction = nullptr;
    QAction *quitAction = nullptr;
    QAction *aboutAction = nullptr;
    QSystemTrayIcon *trayIcon = nullptr;
    QMenu *trayIconMenu = nullptr;
    QString selectedIp;
    // Why the Art-Net engine is not running; empty while it runs.
    QString artNetFailure;
};

#endif // DORVANTIS_H
