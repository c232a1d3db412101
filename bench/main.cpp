// The receive path benchmark. Without arguments it runs the measurements and
// prints the table; with --receiver it is the receiving process it starts.

#include "benchreceiver.h"
#include "receivepathbench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>

#include <cstdio>

#ifndef DORVANTIS_DRIVER_LIBRARY
#define DORVANTIS_DRIVER_LIBRARY "libVdEthDMX.so"
#endif

namespace {

int runReceiver(int argc, char *argv[], const ReceivePathBench::Settings &settings)
{
    QApplication app(argc, argv);
    BenchReceiver receiver(settings.receiver, settings.publishState);
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
        // Name, description, value name and default of each option.
        const char *const table[][4] = {
            {"port", "UDP port for Art-Net (default 46500).", "port", "46500"},
            {"sacn-port", "UDP port for sACN, sent by unicast (default 46501).", "port", "46501"},
            {"protocol",
             "What to measure: artnet, sacn or both (default both, which gives sACN's CPU time per packet beside "
             "Art-Net's).",
             "name", "both"},
            {"library", "Driver library to read through (default: the one built).", "file", DORVANTIS_DRIVER_LIBRARY},
            {"step-seconds", "Length of each step of the rate search (default 5).", "s", "5"},
            {"loss-seconds", "Length of each loss run at full load (default 30).", "s", "30"},
            {"probes", "Latency probes per measurement (default 3000).", "n", "3000"},
            {"repeat", "Rounds; the table gives medians (default 1).", "n", "1"},
            {"artnet-merge", "The receiving process's Art-Net merge: latest or htp (used by the benchmark).", "mode",
             "latest"},
            {"state", "Whether the receiving process publishes its state for monitors, as the program does: on or "
                      "off (default on).",
             "on|off", "on"},
        };
        QList<QCommandLineOption> options;
        for (const auto &row : table)
            options.append(QCommandLineOption(QLatin1String(row[0]), QLatin1String(row[1]), QLatin1String(row[2]),
                                              QLatin1String(row[3])));
        const QCommandLineOption receiverRoleOption(
            QStringLiteral("receiver"), QStringLiteral("Run as the receiving process (used by the benchmark)."));
        parser.addOptions(options);
        parser.addOption(receiverRoleOption);
        parser.process(app);
        const auto value = [&](const char *name) { return parser.value(QLatin1String(name)); };

        bool ok = true;
        auto number = [&](const char *name, double low, double high) {
            bool valid = false;
            const double number = value(name).toDouble(&valid);
            if (!valid || number < low || number > high) {
                std::fprintf(stderr, "bench: --%s must be %g to %g\n", name, low, high);
                ok = false;
            }
            return number;
        };
        ReceiveOptions &receiver = settings.receiver;
        receiver.address = QHostAddress(QHostAddress::LocalHost);
        receiver.artNetPort = quint16(number("port", 1024, 65535));
        receiver.sacnPort = quint16(number("sacn-port", 1024, 65535));
        if (receiver.sacnPort == receiver.artNetPort) {
            std::fprintf(stderr, "bench: --port and --sacn-port must differ\n");
            ok = false;
        }
        const QString measured = value("protocol");
        settings.artNet = measured == QLatin1String("artnet") || measured == QLatin1String("both");
        settings.sacn = measured == QLatin1String("sacn") || measured == QLatin1String("both");
        if (!settings.artNet && !settings.sacn) {
            std::fprintf(stderr, "bench: --protocol must be artnet, sacn or both\n");
            ok = false;
        }
        receiver.artNetMerge =
            value("artnet-merge") == QLatin1String("htp") ? ArtNetMerge::Mode::Htp : ArtNetMerge::Mode::Latest;
        settings.publishState = value("state") != QLatin1String("off");
        settings.library = value("library");
        settings.stepSeconds = number("step-seconds", 0.5, 600);
        settings.lossSeconds = number("loss-seconds", 0.5, 3600);
        settings.probes = int(number("probes", 10, 1000000));
        settings.repeat = int(number("repeat", 1, 100));
        if (!ok)
            return 1;
        receiverRole = parser.isSet(receiverRoleOption);
        if (!receiverRole) {
            ReceivePathBench bench(settings);
            return bench.run();
        }
    }
    return runReceiver(argc, argv, settings);
}
