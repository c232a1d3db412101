// The receive path benchmark. Without arguments it runs the measurements and
// prints the table; with --receiver it is the receiving process it starts.

#include "benchreceiver.h"
#include "receivepathbench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#ifndef DORVANTIS_DRIVER_LIBRARY
#define DORVANTIS_DRIVER_LIBRARY "libVdEthDMX.so"
#endif

namespace {

int runReceiver(int argc, char *argv[], const ReceivePathBench::Settings &settings)
{
    QApplication app(argc, argv);
    BenchReceiver receiver(settings.port, settings.sacnPort, settings.artNetMerge);
    if (!receiver.start())
        return 1;
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    ReceivePathBench::Settings settings;
    bool receiverRole = false;
    {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        parser.setApplicationDescription(QStringLiteral(
            "Measures the receive path sender -> engine or sACN receiver -> mapper -> universe data area ->\n"
            "driver library on loopback (127.0.0.1 only) and prints one table. Needs the universe data area\n"
            "to itself: do not run it while the program or tests that create the area are running."));
        parser.addHelpOption();
        const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("UDP port for Art-Net (default 46500)."),
                                      QStringLiteral("port"), QStringLiteral("46500"));
        const QCommandLineOption sacnPort(QStringLiteral("sacn-port"),
                                          QStringLiteral("UDP port for sACN, sent by unicast (default 46501)."),
                                          QStringLiteral("port"), QStringLiteral("46501"));
        const QCommandLineOption protocol(QStringLiteral("protocol"),
                                          QStringLiteral("What to measure: artnet, sacn or both (default both, "
                                                         "which gives sACN's CPU time per packet beside Art-Net's)."),
                                          QStringLiteral("name"), QStringLiteral("both"));
        const QCommandLineOption library(QStringLiteral("library"),
                                         QStringLiteral("Driver library to read through (default: the one built)."),
                                         QStringLiteral("file"), QStringLiteral(DORVANTIS_DRIVER_LIBRARY));
        const QCommandLineOption step(QStringLiteral("step-seconds"),
                                      QStringLiteral("Length of each step of the rate search (default 5)."),
                                      QStringLiteral("s"), QStringLiteral("5"));
        const QCommandLineOption loss(QStringLiteral("loss-seconds"),
                                      QStringLiteral("Length of each loss run at full load (default 30)."),
                                      QStringLiteral("s"), QStringLiteral("30"));
        const QCommandLineOption probes(QStringLiteral("probes"),
                                        QStringLiteral("Latency probes per measurement (default 3000)."),
                                        QStringLiteral("n"), QStringLiteral("3000"));
        const QCommandLineOption repeat(QStringLiteral("repeat"),
                                        QStringLiteral("Rounds; the table gives medians (default 1)."),
                                        QStringLiteral("n"), QStringLiteral("1"));
        const QCommandLineOption receiver(QStringLiteral("receiver"),
                                          QStringLiteral("Run as the receiving process (used by the benchmark)."));
        const QCommandLineOption merge(QStringLiteral("artnet-merge"),
                                       QStringLiteral("The receiving process's Art-Net merge: latest or htp."),
                                       QStringLiteral("mode"), QStringLiteral("latest"));
        parser.addOptions({port, sacnPort, protocol, library, step, loss, probes, repeat, receiver, merge});
        parser.process(app);

        bool ok = true;
        auto number = [&](const QCommandLineOption &option, double low, double high) {
            bool valid = false;
            const double value = parser.value(option).toDouble(&valid);
            if (!valid || value < low || value > high) {
                std::fprintf(stderr, "bench: --%s must be %g to %g\n", qPrintable(option.names().first()), low, high);
                ok = false;
            }
            return value;
        };
        settings.port = quint16(number(port, 1024, 65535));
        settings.sacnPort = quint16(number(sacnPort, 1024, 65535));
        if (settings.sacnPort == settings.port) {
            std::fprintf(stderr, "bench: --port and --sacn-port must differ\n");
            ok = false;
        }
        const QString measured = parser.value(protocol);
        settings.artNet = measured == QLatin1String("artnet") || measured == QLatin1String("both");
        settings.sacn = measured == QLatin1String("sacn") || measured == QLatin1String("both");
        if (!settings.artNet && !settings.sacn) {
            std::fprintf(stderr, "bench: --protocol must be artnet, sacn or both\n");
            ok = false;
        }
        settings.artNetMerge = parser.value(merge) == QLatin1String("htp") ? ArtNetMerge::Mode::Htp
                                                                           : ArtNetMerge::Mode::Latest;
        settings.library = parser.value(library);
        settings.stepSeconds = number(step, 0.5, 600);
        settings.lossSeconds = number(loss, 0.5, 3600);
        settings.probes = int(number(probes, 10, 1000000));
        settings.repeat = int(number(repeat, 1, 100));
        if (!ok)
            return 1;
        receiverRole = parser.isSet(receiver);
        if (!receiverRole) {
            ReceivePathBench bench(settings);
            return bench.run();
        }
    }
    return runReceiver(argc, argv, settings);
}
