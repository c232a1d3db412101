// Stands in for the program in the cross-process tests, with the same
// lifetime of the universe data area: an Art-Net engine on 127.0.0.1 whose
// ArtDmx go straight to the universe mapper, wired as the main window wires
// them, until the process ends or is killed. Prints "ready" once it listens.
//
//   artdmxwriter <port>

#include "loopbacknode.h"
#include "quietdebug.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietDebug);
    QApplication app(argc, argv);
    bool valid = false;
    const quint16 port = argc == 2 ? QByteArray(argv[1]).toUShort(&valid) : 0;
    if (!valid || port == 0) {
        std::fprintf(stderr, "usage: artdmxwriter <port>\n");
        return 2;
    }

    LoopbackNode node(port);
    if (!node.start()) {
        std::printf("failed\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
