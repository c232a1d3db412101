// artnetsend: sends ArtDmx frames (fixed channel values or a moving test
// pattern) or an ArtPoll whose replies it prints. Meant for checking a node by
// hand and for scripts; it sends to 127.0.0.1 unless told otherwise.

#include "artnetpackets.h"
#include "fieldtext.h"
#include "universelist.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <vector>

namespace {

enum ExitCode {
    ExitOk = 0,
    ExitUsage = 1,
    ExitNetwork = 2,
    ExitNoReply = 3,
};

using ArtNet::MaxPortAddress;
constexpr quint8 TalkToMeUnicast = 0x01; // replies to the poller, not the broadcast address

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

int usageError(const QString &message)
{
    std::fprintf(stderr, "artnetsend: %s\nTry 'artnetsend --help'.\n", qPrintable(message));
    return ExitUsage;
}

bool parseNumber(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 0);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

// "0,1,4-7": a list of single numbers and inclusive ranges of Port-Addresses,
// each number decimal, hexadecimal (0x) or octal (0).
bool parseUniverses(const QString &text, std::vector<int> *universes)
{
    universes->clear();
    std::vector<UniverseList::Range> ranges;
    const auto number = [](const std::string &item, long long *value) {
        bool ok = false;
        *value = QString::fromStdString(item).trimmed().toInt(&ok, 0);
        return ok;
    };
    if (!UniverseList::parse(text.toStdString(), number, &ranges))
        return false;
    for (const UniverseList::Range &range : ranges) {
        if (range.first < 0 || range.last > MaxPortAddress)
            return false;
        for (long long u = range.first; u <= range.last; ++u)
            universes->push_back(int(u));
    }
    return !universes->empty();
}

// Comma-separated items: "V" sets the channel after the previous item (the
// first item starts at channel 1), "C=V" sets channel C, "A-B=V" channels A
// to B. Channels count from 1; unlisted channels are 0.
bool parseChannels(const QString &text, quint8 *data)
{
    int next = 1;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList sides = item.split(QLatin1Char('='));
        int first = next;
        int last = next;
        int value = 0;
        if (sides.size() == 2) {
            const QStringList bounds = sides[0].split(QLatin1Char('-'));
            if (bounds.size() == 1) {
                if (!parseNumber(bounds[0], 1, ArtNet::DmxChannels, &first))
                    return false;
                last = first;
            } else if (bounds.size() != 2 || !parseNumber(bounds[0], 1, ArtNet::DmxChannels, &first)
                       || !parseNumber(bounds[1], first, ArtNet::DmxChannels, &last)) {
                return false;
            }
        } else if (sides.size() != 1 || next > ArtNet::DmxChannels) {
            return false;
        }
        if (!parseNumber(sides.last(), 0, 255, &value))
            return false;
        std::fill(data + first - 1, data + last, static_cast<quint8>(value));
        next = last + 1;
    }
    return true;
}

enum class Pattern { None, Ramp, Chase };

// Patterns move by one step per frame and are offset per universe, so that
// neighbouring universes are told apart at a glance.
void fillPattern(Pattern pattern, quint64 frame, int universe, int length, quint8 *data)
{
    switch (pattern) {
    case Pattern::None:
        break;
    case Pattern::Ramp:
        for (int i = 0; i < length; ++i)
            data[i] = static_cast<quint8>(i + frame + quint64(universe) * 16);
        break;
    case Pattern::Chase: {
        std::fill(data, data + ArtNet::DmxChannels, quint8(0));
        if (length > 0)
            data[(frame + quint64(universe)) % quint64(length)] = 255;
        break;
    }
    }
}

// A field's Latin-1 text with '?' for what cannot be printed.
template <std::size_t Width>
QString printableText(const char (&field)[Width])
{
    const std::string latin1 = fieldText(field);
    QString text = QString::fromLatin1(latin1.data(), int(latin1.size()));
    for (QChar &c : text) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    return text;
}

QString bytesText(const quint8 *bytes, int count, const char *format = "%02x", char separator = ' ')
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << QString::asprintf(format, bytes[i]);
    return parts.join(QLatin1Char(separator));
}

void printPollReply(const ArtPollReply &r, const QHostAddress &peer, quint16 peerPort, qint64 size)
{
    std::printf("ArtPollReply from %s:%u (%lld bytes%s)\n", qPrintable(peer.toString()), peerPort,
                static_cast<long long>(size), size < qint64(sizeof r) ? ", short; the rest reads as 0" : "");
    std::printf("  ipAddress         %u.%u.%u.%u\n", r.ipAddress[0], r.ipAddress[1], r.ipAddress[2], r.ipAddress[3]);
    std::printf("  port              %u\n", unsigned(r.port));
    std::printf("  versionInfo       %u\n", unsigned(r.versionInfo));
    std::printf("  netSwitch         %u\n", unsigned(r.subSwitch >> 8));
    std::printf("  subSwitch         %u\n", unsigned(r.subSwitch & 0xFF));
    std::printf("  oem               0x%04x\n", unsigned(r.oem));
    std::printf("  ubeaVersion       %u\n", r.ubeaVersion);
    std::printf("  status            0x%02x\n", r.status);
    std::printf("  estaManufacturer  0x%04x\n", unsigned(r.estaManufacturer));
    std::printf("  shortName         \"%s\"\n", qPrintable(printableText(r.shortName)));
    std::printf("  longName          \"%s\"\n", qPrintable(printableText(r.longName)));
    std::printf("  nodeReport        \"%s\"\n", qPrintable(printableText(r.nodeReport)));
    std::printf("  numPorts          %u\n", unsigned(r.numPorts));
    std::printf("  portTypes         %s\n", qPrintable(bytesText(r.portTypes, 4)));
    std::printf("  goodInput         %s\n", qPrintable(bytesText(r.goodInput, 4)));
    std::printf("  goodOutput        %s\n", qPrintable(bytesText(r.goodOutput, 4)));
    std::printf("  swIn              %s\n", qPrintable(bytesText(r.swIn, 4)));
    std::printf("  swOut             %s\n", qPrintable(bytesText(r.swOut, 4)));
    std::printf("  swVideo           %u\n", r.swVideo);
    std::printf("  swMacro           %u\n", r.swMacro);
    std::printf("  swRemote          %u\n", r.swRemote);
    std::printf("  style             %u\n", r.style);
    std::printf("  mac               %s\n", qPrintable(bytesText(r.mac, 6, "%02x", ':')));
    std::printf("  bindIp            %u.%u.%u.%u\n", r.bindIp[0], r.bindIp[1], r.bindIp[2], r.bindIp[3]);
    std::printf("  bindIndex         %u\n", r.bindIndex);
    std::printf("  status2           0x%02x\n", r.status2);
    std::fflush(stdout);
}

// "0-15, 32": ascending numbers with runs written as ranges.
QString rangesText(const std::set<int> &values)
{
    QStringList parts;
    for (auto it = values.begin(); it != values.end();) {
        const int first = *it;
        int last = first;
        for (++it; it != values.end() && *it == last + 1; ++it)
            last = *it;
        parts << (first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last));
    }
    return parts.join(QStringLiteral(", "));
}

// What the replies of one node say about its ports, gathered over the root
// reply and its Art-Net 4 bound replies.
struct NodePorts
{
    QString name;
    std::set<int> outputs;
    std::set<int> inputs;
};

// Port-Address = Net << 8 | Sub-Net << 4 | the port's universe.
void collectPorts(const ArtPollReply &r, NodePorts *node)
{
    const int base = (r.subSwitch >> 8 & 0x7F) << 8 | (r.subSwitch & 0x0F) << 4;
    for (int i = 0; i < ArtNet::PortsPerReply; ++i) {
        if (r.portTypes[i] & 0x80)
            node->outputs.insert(base | (r.swOut[i] & 0x0F));
        if (r.portTypes[i] & 0x40)
            node->inputs.insert(base | (r.swIn[i] & 0x0F));
    }
}

QString nodeLine(const QString &address, const NodePorts &node)
{
    QStringList ports;
    if (!node.outputs.empty())
        ports << QStringLiteral("outputs ") + rangesText(node.outputs);
    if (!node.inputs.empty())
        ports << QStringLiteral("inputs ") + rangesText(node.inputs);
    if (ports.isEmpty())
        ports << QStringLiteral("no ports");
    return QStringLiteral("%1 %2: %3").arg(node.name, address, ports.join(QStringLiteral("; ")));
}

// A node answers on the Art-Net port of the address the poll came from, so
// the socket that sends the poll listens on that port. A node on this very
// machine holds the port on all addresses already; a second socket bound to
// all addresses would take its unicast datagrams away, so for a loopback target
// the poll goes out from another loopback address.
QHostAddress defaultPollSource(const QHostAddress &target)
{
    if (!target.isLoopback())
        return QHostAddress(QHostAddress::AnyIPv4);
    const quint32 other = target.toIPv4Address() == 0x7F000002 ? 0x7F000003 : 0x7F000002;
    return QHostAddress(other);
}

int runPoll(const QHostAddress &target, quint16 port, const QHostAddress &source, bool unicastReplies,
            int timeoutMs)
{
    QUdpSocket socket;
    if (!socket.bind(source, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        std::fprintf(stderr, "artnetsend: cannot listen for replies on %s:%u: %s\n",
                     qPrintable(source.toString()), port, qPrintable(socket.errorString()));
        return ExitNetwork;
    }

    const ArtPoll poll = ArtNet::artPoll(unicastReplies ? TalkToMeUnicast : 0);
    if (socket.writeDatagram(reinterpret_cast<const char *>(&poll), sizeof poll, target, port) != sizeof poll) {
        std::fprintf(stderr, "artnetsend: cannot send ArtPoll to %s:%u: %s\n", qPrintable(target.toString()),
                     port, qPrintable(socket.errorString()));
        return ExitNetwork;
    }

    int replies = 0;
    int shown = 0;
    // By the node's root address, in the order the nodes first answered.
    std::map<QString, NodePorts> nodes;
    QStringList order;
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = timeoutMs; left > 0 && !stopRequested; left = timeoutMs - clock.elapsed()) {
        if (!socket.waitForReadyRead(int(std::min<qint64>(left, 100))))
            continue;
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram(sizeof(ArtPollReply));
            const QByteArray bytes = datagram.data();
            if (ArtNet::recordOpCode(bytes.constData(), bytes.size()) != ArtNet::OpPollReply)
                continue;
            ArtPollReply reply;
            std::memset(&reply, 0, sizeof reply);
            std::memcpy(&reply, bytes.constData(), size_t(bytes.size()));
            // A bound reply (BindIndex 2 and above) only adds ports to its
            // root device's line; each root reply is shown in full.
            const bool bound = reply.bindIndex >= ArtNet::FirstBindIndex;
            const quint8 *root = bound ? reply.bindIp : reply.ipAddress;
            const QString address = QStringLiteral("%1.%2.%3.%4").arg(root[0]).arg(root[1]).arg(root[2]).arg(root[3]);
            if (nodes.find(address) == nodes.end())
                order << address;
            NodePorts &node = nodes[address];
            if (node.name.isEmpty() || !bound)
                node.name = printableText(reply.shortName);
            collectPorts(reply, &node);
            if (!bound) {
                if (shown++ > 0)
                    std::printf("\n");
                printPollReply(reply, datagram.senderAddress(), quint16(datagram.senderPort()), bytes.size());
            }
            ++replies;
        }
    }
    if (replies == 0) {
        std::fprintf(stderr, "artnetsend: no ArtPollReply within %d ms\n", timeoutMs);
        return ExitNoReply;
    }
    if (shown > 0)
        std::printf("\n");
    for (const QString &address : order)
        std::printf("%s\n", qPrintable(nodeLine(address, nodes[address])));
    return ExitOk;
}

struct DmxJob
{
    QHostAddress target;
    quint16 port = ArtNet::DefaultPort;
    std::vector<int> universes;
    quint8 values[ArtNet::DmxChannels] = {};
    Pattern pattern = Pattern::None;
    int length = ArtNet::DmxChannels;
    double rate = 44;
    quint64 count = 1; // frames; 0 runs until stopped
    bool quiet = false;
};

int runDmx(const DmxJob &job)
{
    QUdpSocket socket;
    std::vector<ArtDmx> packets;
    for (int universe : job.universes) {
        packets.push_back(ArtNet::artDmx(quint16(universe), quint16(job.length)));
        std::memcpy(packets.back().data, job.values, sizeof job.values);
    }

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / job.rate));
    const auto start = Clock::now();
    quint64 sent = 0;
    quint64 failed = 0;
    QString lastError;
    quint64 frame = 0;
    for (; (job.count == 0 || frame < job.count) && !stopRequested; ++frame) {
        // Frames keep to a fixed timetable from the start, so that the rate does
        // not drift with the time spent sending.
        const auto due = start + period * frame;
        for (auto now = Clock::now(); now < due && !stopRequested; now = Clock::now())
            std::this_thread::sleep_for(std::min<Clock::duration>(due - now, std::chrono::milliseconds(100)));
        if (stopRequested)
            break;
        for (ArtDmx &packet : packets) {
            // 1 to 255, skipping 0, which tells receivers not to check the order.
            packet.sequence = static_cast<quint8>(frame % 255 + 1);
            fillPattern(job.pattern, frame, packet.universe, job.length, packet.data);
            if (socket.writeDatagram(reinterpret_cast<const char *>(&packet), sizeof packet, job.target, job.port)
                == qint64(sizeof packet)) {
                ++sent;
            } else {
                ++failed;
                lastError = socket.errorString();
            }
        }
    }

    if (!job.quiet)
        std::printf("artnetsend: sent %llu ArtDmx (%llu frames x %zu universes) to %s:%u\n",
                    static_cast<unsigned long long>(sent), static_cast<unsigned long long>(frame),
                    packets.size(), qPrintable(job.target.toString()), job.port);
    if (failed > 0) {
        std::fprintf(stderr, "artnetsend: %llu ArtDmx could not be sent: %s\n",
                     static_cast<unsigned long long>(failed), qPrintable(lastError));
        return ExitNetwork;
    }
    return ExitOk;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("artnetsend"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends ArtDmx frames, or an ArtPoll whose replies it prints.\n"
        "\n"
        "ArtDmx: every frame sends one packet to each universe, either the fixed\n"
        "--channels values (one frame by default) or a moving --pattern (until\n"
        "stopped by default). Example:\n"
        "  artnetsend -u 0-3 --pattern ramp --rate 44 --count 440\n"
        "  artnetsend -u 1 -c 255,128,0 -c 100-110=50\n"
        "\n"
        "ArtPoll: --poll sends one ArtPoll and prints every ArtPollReply that\n"
        "arrives within --timeout. Replies come to the Art-Net port of the\n"
        "address the poll is sent from (--from). For a loopback target that is\n"
        "another loopback address (127.0.0.2), so that a node running on this\n"
        "machine keeps receiving; otherwise all local addresses.\n"
        "\n"
        "Exit codes: 0 done, 1 bad arguments, 2 network error (a socket could\n"
        "not be bound or a datagram not sent), 3 no ArtPollReply arrived."));
    parser.addHelpOption();

    const QCommandLineOption addressOption({QStringLiteral("a"), QStringLiteral("address")},
        QStringLiteral("Target IPv4 address; a broadcast address reaches a whole network (default 127.0.0.1)."),
        QStringLiteral("ip"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption({QStringLiteral("p"), QStringLiteral("port")},
        QStringLiteral("Target UDP port (default 6454)."), QStringLiteral("port"),
        QString::number(ArtNet::DefaultPort));
    const QCommandLineOption universeOption({QStringLiteral("u"), QStringLiteral("universe")},
        QStringLiteral("Universes (Port-Address 0-32767) as a list with ranges, e.g. 0,2,4-7 (default 0)."),
        QStringLiteral("list"), QStringLiteral("0"));
    const QCommandLineOption channelsOption({QStringLiteral("c"), QStringLiteral("channels")},
        QStringLiteral("Channel values, comma-separated: V sets the next channel (the first is channel 1), "
                       "C=V channel C, A-B=V channels A to B; channels 1-512, values 0-255, others 0. "
                       "May be given more than once."),
        QStringLiteral("values"));
    const QCommandLineOption patternOption({QStringLiteral("P"), QStringLiteral("pattern")},
        QStringLiteral("Moving test pattern instead of fixed values: ramp (a sawtooth across the channels "
                       "that moves one step per frame) or chase (one channel at 255 walking along)."),
        QStringLiteral("name"));
    const QCommandLineOption lengthOption({QStringLiteral("l"), QStringLiteral("length")},
        QStringLiteral("Channels announced in each ArtDmx, 0-512 (default 512). All 512 data bytes are "
                       "always sent."),
        QStringLiteral("n"), QString::number(ArtNet::DmxChannels));
    const QCommandLineOption rateOption({QStringLiteral("r"), QStringLiteral("rate")},
        QStringLiteral("Frames per second (default 44)."), QStringLiteral("hz"), QStringLiteral("44"));
    const QCommandLineOption countOption({QStringLiteral("n"), QStringLiteral("count")},
        QStringLiteral("Frames to send; 0 sends until interrupted (default 1 with --channels, 0 with "
                       "--pattern)."),
        QStringLiteral("frames"));
    const QCommandLineOption quietOption({QStringLiteral("q"), QStringLiteral("quiet")},
        QStringLiteral("No summary line after sending ArtDmx."));
    const QCommandLineOption pollOption(QStringLiteral("poll"),
        QStringLiteral("Send an ArtPoll, print the ArtPollReply fields of every node that answers, then one "
                       "line per node with its ports, e.g. 'Dorvantis 127.0.0.1: outputs 0-255'. Art-Net 4 "
                       "bound replies add to that line only."));
    const QCommandLineOption timeoutOption({QStringLiteral("t"), QStringLiteral("timeout")},
        QStringLiteral("Milliseconds to wait for replies after an ArtPoll (default 2000)."),
        QStringLiteral("ms"), QStringLiteral("2000"));
    const QCommandLineOption fromOption(QStringLiteral("from"),
        QStringLiteral("Local IPv4 address to poll from and to receive replies on (default: see above)."),
        QStringLiteral("ip"));
    const QCommandLineOption broadcastRepliesOption(QStringLiteral("broadcast-replies"),
        QStringLiteral("Ask nodes to broadcast their replies instead of sending them to the poller."));
    parser.addOptions({addressOption, portOption, universeOption, channelsOption, patternOption, lengthOption,
                       rateOption, countOption, quietOption, pollOption, timeoutOption, fromOption,
                       broadcastRepliesOption});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return ExitOk;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    QHostAddress target;
    if (!target.setAddress(parser.value(addressOption)) || target.protocol() != QAbstractSocket::IPv4Protocol)
        return usageError(QStringLiteral("'%1' is not an IPv4 address").arg(parser.value(addressOption)));
    int port = 0;
    if (!parseNumber(parser.value(portOption), 1, 65535, &port))
        return usageError(QStringLiteral("port must be 1-65535"));

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    if (parser.isSet(pollOption)) {
        if (parser.isSet(universeOption) || parser.isSet(channelsOption) || parser.isSet(patternOption)
            || parser.isSet(countOption) || parser.isSet(rateOption) || parser.isSet(lengthOption))
            return usageError(QStringLiteral("--poll sends no ArtDmx; leave out the ArtDmx options"));
        int timeout = 0;
        if (!parseNumber(parser.value(timeoutOption), 1, 3600 * 1000, &timeout))
            return usageError(QStringLiteral("timeout must be 1-3600000 ms"));
        QHostAddress source = defaultPollSource(target);
        if (parser.isSet(fromOption)
            && (!source.setAddress(parser.value(fromOption)) || source.protocol() != QAbstractSocket::IPv4Protocol))
            return usageError(QStringLiteral("'%1' is not an IPv4 address").arg(parser.value(fromOption)));
        return runPoll(target, quint16(port), source, !parser.isSet(broadcastRepliesOption), timeout);
    }
    if (parser.isSet(timeoutOption) || parser.isSet(fromOption) || parser.isSet(broadcastRepliesOption))
        return usageError(QStringLiteral("--timeout, --from and --broadcast-replies belong to --poll"));

    DmxJob job;
    job.target = target;
    job.port = quint16(port);
    job.quiet = parser.isSet(quietOption);
    if (!parseUniverses(parser.value(universeOption), &job.universes))
        return usageError(QStringLiteral("universes must be numbers or ranges of 0-%1, e.g. 0,2,4-7")
                              .arg(MaxPortAddress));
    for (const QString &assignment : parser.values(channelsOption)) {
        if (!parseChannels(assignment, job.values))
            return usageError(QStringLiteral("bad channel values '%1'; e.g. 255,128 or 10=255 or 1-512=0")
                                  .arg(assignment));
    }
    if (parser.isSet(patternOption)) {
        if (parser.isSet(channelsOption))
            return usageError(QStringLiteral("give either --channels or --pattern"));
        const QString name = parser.value(patternOption);
        if (name == QLatin1String("ramp"))
            job.pattern = Pattern::Ramp;
        else if (name == QLatin1String("chase"))
            job.pattern = Pattern::Chase;
        else
            return usageError(QStringLiteral("unknown pattern '%1'; use ramp or chase").arg(name));
    }
    if (!parseNumber(parser.value(lengthOption), 0, ArtNet::DmxChannels, &job.length))
        return usageError(QStringLiteral("length must be 0-512"));
    bool ok = false;
    job.rate = parser.value(rateOption).toDouble(&ok);
    if (!ok || !(job.rate > 0.0) || job.rate > 1e6)
        return usageError(QStringLiteral("rate must be above 0 and at most 1000000 frames per second"));
    job.count = job.pattern == Pattern::None ? 1 : 0;
    if (parser.isSet(countOption)) {
        job.count = parser.value(countOption).toULongLong(&ok);
        if (!ok)
            return usageError(QStringLiteral("count must be a whole number of frames"));
    }
    return runDmx(job);
}
