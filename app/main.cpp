#include "dorvantis.h"
#ifdef Q_OS_UNIX
#include "signalquitter.h"
#endif

#include <QApplication>
#include <QIcon>
#include <QStyle>

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
