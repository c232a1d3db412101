#include "dmxmonitor.h"

#include "fieldtext.h"
#include "monitorhost.h"
#include "nodestatereader.h"
#include "universedataarea.h"
#include "universelist.h"

#if defined(DMXMONITOR_LIVE_VIEW)
#include "liveview.h"
#endif

#include <algorithm>
#include <cstdlib>

namespace {

using UniverseData::ChannelCount;
// Port numbers are 16-bit for every host we know; beyond that a number is out
// of range without asking the library, and a range is not spelt out.
constexpr long long MaxPortNumber = 65535;

std::string addressText(std::uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xff) + "."
        + std::to_string(address >> 8 & 0xff) + "." + std::to_string(address & 0xff);
}

const char *heldText(std::uint8_t held)
{
    switch (NodeState::Held(held)) {
    case NodeState::Held::No:
        return "no";
    case NodeState::Held::Outranked:
        return "outranked";
    case NodeState::Held::ArtNetFirst:
        return "artnet-first";
    case NodeState::Held::ThirdSource:
        return "third-source";
    }
    return "yes";
}

} // namespace

DmxMonitor::DmxMonitor(std::ostream &out, std::ostream &err)
    : out(out)
    , err(err)
{
}

bool DmxMonitor::hasLiveView()
{
#if defined(DMXMONITOR_LIVE_VIEW)
    return true;
#else
    return false;
#endif
}

int DmxMonitor::run(const std::vector<std::string> &arguments)
{
    if (!parse(arguments))
        return badArguments(parseError);
    if (help) {
        printHelp();
        return Ok;
    }

    MonitorHost host;
    const std::string file = libraryFile.empty() ? MonitorHost::defaultLibraryName() : libraryFile;
    if (!host.load(file)) {
        err << "dmxmonitor: cannot use the driver library " << file << ": " << host.errorString() << "\n";
        return NoLibrary;
    }

    // Parsing accepted any whole number; which ones are ports is the library's word.
    std::vector<int> universes;
    for (long long universe : requested) {
        if (universe < 0 || universe > MaxPortNumber || !host.isPort(int(universe))) {
            err << "dmxmonitor: universe " << universe << " is out of range: the driver has ports 0-255\n";
            return UniverseOutOfRange;
        }
        universes.push_back(int(universe));
    }

    const std::vector<std::string> devices = host.detect();
    if (devices.empty() || !host.connect()) {
        err << "dmxmonitor: the driver found no device: the universe data area does not exist "
               "(is Dorvantis running?)\n";
        return NoArea;
    }

#if defined(DMXMONITOR_LIVE_VIEW)
    if (!once) {
        LiveView view(host, universes, rate, devices.front());
        return view.run(err) ? Ok : NoTerminal;
    }
#endif

    out << "library " << file << " version " << host.versionText() << "\n";
    for (const std::string &device : devices)
        out << "device " << device << "\n";
    NodeStateReader state;
    ProgramState program = {};
    bool published = false;
    if (sources) {
        const NodeStateReader::Status status = state.attach();
        published = status == NodeStateReader::Status::Attached && state.readProgram(program);
        if (status == NodeStateReader::Status::Incompatible)
            out << "sources: the state section has layout " << state.foundVersion() << ", this dmxmonitor reads "
                << NodeState::Version << "\n";
        else if (!published)
            out << "sources: none published (Dorvantis is not running or too old)\n";
    }
    for (int universe : universes) {
        const MonitorHost::Port port = host.port(universe);
        out << "universe " << universe << " length " << port.length << " packets ";
        if (port.counted)
            out << port.packets;
        else
            out << "?";
        out << " channels " << firstChannel << "-" << lastChannel << ":";
        for (int channel = firstChannel; channel <= lastChannel; ++channel)
            out << " " << unsigned(port.channels[channel - 1]);
        out << "\n";
        RecordState record;
        if (published && state.readRecord(universe, record))
            printSources(record, program.nowMs);
        else if (published)
            out << "  sources: being rewritten every time they were read\n";
    }
    out.flush();
    return Ok;
}

bool DmxMonitor::parse(const std::vector<std::string> &arguments)
{
    auto fail = [this](const std::string &message) {
        parseError = message;
        return false;
    };
    std::vector<std::string> universeLists;
    long long number = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &arg = arguments[i];
        // Options that take a value accept it as the next argument or after '='.
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        if (arg.compare(0, 2, "--") == 0 && arg.find('=') != std::string::npos) {
            name = arg.substr(0, arg.find('='));
            value = arg.substr(arg.find('=') + 1);
            inlineValue = true;
        }
        auto takeValue = [&]() {
            if (inlineValue)
                return true;
            if (i + 1 >= arguments.size())
                return false;
            value = arguments[++i];
            return true;
        };
        if (name == "-h" || name == "--help") {
            help = true;
        } else if (name == "--once") {
            once = true;
        } else if (name == "--sources") {
            sources = true;
            once = true;
        } else if (name == "-l" || name == "--library") {
            if (!takeValue() || value.empty())
                return fail(name + " needs a file name");
            libraryFile = value;
        } else if (name == "-u" || name == "--universe") {
            if (!takeValue())
                return fail(name + " needs a list of universes");
            universeLists.push_back(value);
        } else if (name == "-c" || name == "--channels") {
            UniverseList::Range channels = {0, 0};
            if (!takeValue() || !UniverseList::parseItem(value, UniverseList::readDecimal, &channels)
                || channels.first < 1 || channels.last > ChannelCount)
                return fail(name + " needs channels within 1-512, e.g. 1-16 or 7");
            firstChannel = int(channels.first);
            lastChannel = int(channels.last);
        } else if (name == "-r" || name == "--rate") {
            char *end = nullptr;
            if (!takeValue() || value.empty())
                return fail(name + " needs a rate");
            const double r = std::strtod(value.c_str(), &end);
            if (*end != '\0' || !(r >= 1 && r <= 100))
                return fail(name + " needs a rate of 1-100 refreshes per second");
            rate = r;
        } else if (arg.size() > 1 && arg[0] == '-' && !UniverseList::readDecimal(arg, &number)) {
            return fail("unknown option " + arg);
        } else {
            universeLists.push_back(arg);
        }
    }
    if (help)
        return true;
    if (universeLists.empty())
        universeLists.push_back("0");
    for (const std::string &list : universeLists) {
        std::vector<UniverseList::Range> ranges;
        std::string badItem;
        if (!UniverseList::parse(list, UniverseList::readDecimal, &ranges, &badItem))
            return fail("'" + badItem + "' is not a universe number or range such as 4-7");
        for (const UniverseList::Range &range : ranges) {
            // Reported as out of range once the library is loaded.
            if (range.first < 0 || range.last > MaxPortNumber) {
                requested.push_back(range.first < 0 ? range.first : range.last);
                continue;
            }
            for (long long u = range.first; u <= range.last; ++u)
                requested.push_back(u);
        }
    }
    if (!hasLiveView())
        once = true;
    return true;
}

void DmxMonitor::printSources(const RecordState &record, std::int64_t nowMs)
{
    const int count = std::min<int>(record.sourceCount, NodeState::SourcesPerRecord);
    if (count == 0)
        out << "  no sources\n";
    for (int i = 0; i < count; ++i) {
        const SourceState &source = record.sources[i];
        const bool sacn = source.protocol == std::uint8_t(NodeState::SourceProtocol::Sacn);
        out << "  source " << (sacn ? "sACN " : "Art-Net ") << addressText(source.address) << ":" << source.port
            << " universe " << source.universe;
        if (sacn)
            out << " name \"" << fieldText(source.sourceName) << "\" priority " << unsigned(source.priority);
        out << " packets " << source.packets << " seen " << nowMs - source.lastMs << " ms ago held "
            << heldText(source.held) << "\n";
    }
}

int DmxMonitor::badArguments(const std::string &message)
{
    err << "dmxmonitor: " << message << "\nTry 'dmxmonitor --help'.\n";
    return BadArguments;
}

void DmxMonitor::printHelp()
{
    out << "Usage: dmxmonitor [options] [universe...]\n"
           "Shows DMX universes the way the visualiser host sees them: it loads the\n"
           "driver library, lists the device that StartDetect reports, connects and\n"
           "reads each universe's port.\n"
           "\n"
           "Options:\n"
           "  -u, --universe <list>  Universes 0-255 as a list with ranges, e.g. 0,2,4-7\n"
           "                         (default 0); may also be given as arguments.\n"
           "  -l, --library <file>   The driver library to load (default: "
        << MonitorHost::defaultLibraryName()
        << ").\n"
           "  --once                 Print the universes once as plain text and exit.\n"
           "  -c, --channels <a-b>   Channels that --once prints (default 1-512).\n"
           "  --sources              Also list each universe's senders as Dorvantis\n"
           "                         sees them; prints plain text, as --once.\n"
           "  -r, --rate <hz>        Refreshes per second of the live view, 1-100\n"
           "                         (default 10).\n"
           "  -h, --help             Show this text.\n"
           "\n"
           "Plain text (--once): the library, one line per device, then one line per\n"
           "universe with the valid channel count, the record's packet count and\n"
           "the channel values:\n"
           "  library libVdEthDMX.so version 2.310\n"
           "  device 1 VeldNet Eth-DMX\n"
           "  universe 3 length 512 packets 1234 channels 1-4: 255 128 0 0\n"
           "With --sources each universe line is followed by one line per sender: the\n"
           "Port-Address or sACN universe it sent (sACN adds name and priority), and\n"
           "whether its last packet was held back (no, outranked, artnet-first or\n"
           "third-source):\n"
           "    source Art-Net 10.0.0.5:6454 universe 3 packets 880 seen 20 ms ago held no\n"
           "\n";
    if (hasLiveView())
        out << "Live view (without --once): a grid of all 512 channels per universe with\n"
               "values changed since the last refresh highlighted, and each record's\n"
               "packet count and rate. Keys: q quits, h switches hex/decimal, arrows and\n"
               "PgUp/PgDn scroll.\n";
    else
        out << "This build has no live view; it always prints plain text.\n";
    out << "\n"
           "Exit codes: 0 done, 1 bad arguments, 2 the driver library cannot be\n"
           "loaded, 3 no universe data area (Dorvantis is not running), 4 universe\n"
           "out of range, 5 no terminal for the live view.\n";
}
