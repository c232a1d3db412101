#include "monitorwindow.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    // The program's own look, so that the two read alike side by side.
    QApplication::setStyle(QStringLiteral("cleanlooks"));
    QApplication::setPalette(QApplication::style()->standardPalette());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/dorvantis/icon.png")));

    MonitorWindow window;
    window.show();
    return app.exec();
}
