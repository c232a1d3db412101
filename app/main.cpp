#include "dorvantis.h"
#include "instancelock.h"
#include "nodestatereader.h"
#ifdef Q_OS_UNIX
#include "signalquitter.h"
#endif

#include <QApplication>
#include <QHostAddress>
#include <QIcon>
#include <QMessageBox>
#include <QStyle>

namespace {

// Where the running copy works, as it publishes it; while it is still in its
// address dialog it has published nothing yet, and without an address chosen
// there is none to name.
QString runningCopy()
{
    NodeStateReader reader;
    ProgramState program;
    if (reader.attach() == NodeStateReader::Status::Attached && reader.readProgram(program) && program.running
        && program.address)
        return QCoreApplication::translate("main", "Dorvantis is already running on %1")
            .arg(QHostAddress(program.address).toString());
    return QCoreApplication::translate("main", "Dorvantis is already running");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    // The per-user settings are found through these names.
    QCoreApplication::setOrganizationName(QStringLiteral("Veldara Orvik"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("veldara-orvik.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Dorvantis"));

    // Where the style is not available the current one stays; either way the
    // palette is the style's own rather than the desktop's colours.
    QApplication::setStyle(QStringLiteral("cleanlooks"));
    QApplication::setPalette(QApplication::style()->standardPalette());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/dorvantis/icon.png")));

    // A second copy would find the Art-Net port and the area taken by the
    // first: it says so and ends before it asks for an address or touches
    // either. The lock is held until the program ends.
    const InstanceLock instance;
    if (instance.heldElsewhere()) {
        const QString text = runningCopy();
        qDebug("%s", qPrintable(text));
        QMessageBox::information(nullptr, QStringLiteral("Dorvantis"), text, QMessageBox::Ok, QMessageBox::NoButton);
        return 0;
    }

    dorvantis window;
#ifdef Q_OS_UNIX
    // From here on kill, a closed terminal and Ctrl+C end the program as Quit
    // does. During the address dialog they still end it at once: nothing is
    // held then that the system would not release.
    SignalQuitter signalQuitter;
#endif
    window.show();

    QObject::connect(&app, SIGNAL(lastWindowClosed()), &app, SLOT(quit()));
    const int result = app.exec();
    return result;
}
