// What Dorvantis Monitor costs at its ten refreshes a second: a node's state
// section and universe area, kept busy here as a loaded node keeps them (all
// 256 records live with two sources each, every level moving, data that
// reached no record still arriving, all rewritten ten times a second), read
// by the monitor in a process of its own; its CPU time over each round, from
// /proc.
// Needs the area and the section to itself: run it in a namespace of its own
// (cmake/isolated.sh), like the receive path benchmark.

#include "machine.h"
#include "nodestatewriter.h"
#include "sharedarea.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Keeps the area and the section moving as a loaded node does.
class BusyNode : public QObject
{
public:
    explicit BusyNode(int unreached)
        : area(SharedArea::Mode::Create)
        , unreachedCount(unreached)
    {
        clock.start();
        timer.setInterval(100);
        connect(&timer, &QTimer::timeout, this, [this] { publish(); });
        timer.start();
    }

    bool isValid() const { return area.isValid() && state.isValid(); }

private:
    void publish()
    {
        const qint64 now = clock.elapsed();
        ++step;
        for (int record = 0; record < UniverseData::UniverseCount; ++record) {
            UniverseRecord &entry = area.record(record);
            std::memset(entry.data, int((step + record) & 0xFF), UniverseData::ChannelCount);
            entry.length = UniverseData::ChannelCount;
            entry.packetCount += 4;

            RecordState recordState = {};
            recordState.written = entry.packetCount;
            recordState.lastWrittenMs = now;
            recordState.portAddress = quint16(record);
            recordState.sacnUniverse = quint16(record + 1);
            recordState.sacnListed = 1;
            recordState.sourceCount = 2;
            for (int i = 0; i < 2; ++i) {
                SourceState &source = recordState.sources[i];
                source.protocol = quint8(i);
                source.address = 0x7F000002u + quint32(i);
                source.port = i ? 5568 : 6454;
                source.universe = quint16(record + i);
                std::snprintf(source.sourceName, sizeof source.sourceName, "console %d", i);
                source.priority = 100;
                source.held = quint8(i ? NodeState::Held::ArtNetFirst : NodeState::Held::No);
                source.packetsPerSecond = 44;
                source.lastMs = now;
                source.packets = quint64(step) * 4;
            }
            state.publishRecord(record, recordState);
        }
        UnreachedState unreached = {};
        unreached.count = quint32(unreachedCount);
        for (int i = 0; i < unreachedCount; ++i)
            unreached.entries[i] = UnreachedEntry{quint8(i % NodeState::UnreachedReasons), 0, -1, 0x7F000002u,
                                                  6454, quint16(300 + i), 0, quint64(step), 0, now};
        state.publishUnreached(unreached);
        ProgramState program = {};
        program.nowMs = now;
        program.publishes = quint32(step);
        program.processId = quint32(QCoreApplication::applicationPid());
        program.instance = 1;
        program.running = program.artNetBound = program.sacnEnabled = program.sacnBound = 1;
        program.address = 0x7F000001u;
        program.artNetPort = 6454;
        program.sacnPort = 5568;
        program.sacnFirst = 1;
        state.publishProgram(program);
    }

    SharedArea area;
    NodeStateWriter state;
    QTimer timer;
    QElapsedTimer clock;
    const int unreachedCount;
    int step = 0;
};

// User and system CPU time of a process so far, in clock ticks; -1 when gone.
qint64 cpuTicks(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    // Fields after the command, which may hold spaces: utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

void runFor(int ms)
{
    QTimer::singleShot(ms, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures Dorvantis Monitor's CPU time while it reads a busy node's state ten times a second. Makes the "
        "universe area and the state section itself: run it in a namespace of its own (cmake/isolated.sh)."));
    parser.addHelpOption();
    const QCommandLineOption monitorOption(QStringLiteral("monitor"), QStringLiteral("The monitor program."),
                                          QStringLiteral("file"), QStringLiteral(DORVANTIS_MONITOR_PROGRAM));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Length of a round (default 20)."),
                                           QStringLiteral("s"), QStringLiteral("20"));
    const QCommandLineOption repeatOption(QStringLiteral("repeat"), QStringLiteral("Rounds (default 3)."),
                                          QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption unreachedOption(
        QStringLiteral("unreached"),
        QStringLiteral("Entries of data that reached no record, each still arriving (default 4, at most 32)."),
        QStringLiteral("n"), QStringLiteral("4"));
    parser.addOptions({monitorOption, secondsOption, repeatOption, unreachedOption});
    parser.process(app);
    const int seconds = qBound(1, parser.value(secondsOption).toInt(), 3600);
    const int rounds = qBound(1, parser.value(repeatOption).toInt(), 100);

    const int unreached = qBound(0, parser.value(unreachedOption).toInt(), NodeState::UnreachedCount);
    BusyNode node(unreached);
    if (!node.isValid()) {
        std::fprintf(stderr, "monitorbench: cannot make the universe area and the state section; is a node running?\n");
        return 1;
    }
    const bool onDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    std::vector<double> shares;
    for (int round = 0; round < rounds; ++round) {
        QProcess monitor;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!onDisplay)
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        monitor.setProcessEnvironment(environment);
        monitor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        monitor.setStandardOutputFile(QProcess::nullDevice());
        monitor.start(parser.value(monitorOption), QStringList());
        if (!monitor.waitForStarted()) {
            std::fprintf(stderr, "monitorbench: cannot start %s\n", qPrintable(parser.value(monitorOption)));
            return 1;
        }
        // Start-up is not what is measured.
        runFor(3000);
        const qint64 before = cpuTicks(monitor.processId());
        QElapsedTimer wall;
        wall.start();
        runFor(seconds * 1000);
        const qint64 after = cpuTicks(monitor.processId());
        const double elapsed = wall.elapsed() / 1000.0;
        monitor.kill();
        monitor.waitForFinished();
        if (before < 0 || after < 0) {
            std::fprintf(stderr, "monitorbench: the monitor ended during the round\n");
            return 1;
        }
        const double share = 100.0 * double(after - before) / double(sysconf(_SC_CLK_TCK)) / elapsed;
        std::fprintf(stderr, "monitorbench: round %d of %d: %.2f %% of a core\n", round + 1, rounds, share);
        shares.push_back(share);
    }
    std::sort(shares.begin(), shares.end());
    std::printf("Dorvantis Monitor reading a busy node (256 live records, 2 sources each, every level moving, %d "
                "entries of data reaching no record, 10 publishes/s), platform %s\n",
                unreached, onDisplay ? "xcb" : "offscreen");
    std::printf("Machine: %s; Qt %s; %d round(s) of %d s\n", qPrintable(cpuModel()), qVersion(), rounds, seconds);
    std::printf("Monitor CPU time: median %.2f %% of one core (lowest %.2f, highest %.2f); target under 2 %%\n",
                shares[shares.size() / 2], shares.front(), shares.back());
    return 0;
}
