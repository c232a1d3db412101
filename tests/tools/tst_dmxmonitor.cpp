// dmxmonitor's command in-process, against the driver library as built and
// an area this test creates. Runs natively and, with the DLL, under wine.

#include "dmxmonitor.h"
#include "nodestatewriter.h"
#include "plaintest.h"
#include "sharedarea.h"

#include <cstring>
#include <initializer_list>
#include <sstream>
#include <string>

namespace {

struct Result
{
    int exitCode;
    std::string out;
    std::string err;
};

Result monitor(std::vector<std::string> arguments, bool withLibrary = true)
{
    if (withLibrary) {
        arguments.push_back("--library");
        arguments.push_back(VDETHDMX_FILE);
    }
    std::ostringstream out;
    std::ostringstream err;
    DmxMonitor command(out, err);
    const int exitCode = command.run(arguments);
    return {exitCode, out.str(), err.str()};
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// A failure ends with its own exit code and a message on standard error that
// contains `message`, and prints nothing on standard output.
void checkFailure(const Result &r, DmxMonitor::ExitCode code, const std::string &message)
{
    PT_COMPARE(r.exitCode, int(code));
    PT_CHECK(contains(r.err, message));
    PT_CHECK(r.out.empty());
}

// A success ends with exit code 0, prints each of `parts` on standard output
// and nothing on standard error.
void checkSuccess(const Result &r, std::initializer_list<std::string> parts)
{
    PT_COMPARE(r.exitCode, 0);
    for (const std::string &part : parts) {
        if (!contains(r.out, part))
            PlainTest::fail(__FILE__, __LINE__, "output lacks \"" + part + "\":\n" + r.out);
    }
    PT_CHECK(r.err.empty());
}

} // namespace

PLAINTEST(helpNamesEveryExitCode)
{
    checkSuccess(monitor({"--help"}, false), {"--once", "--library", "3 no universe data area", "4 universe"});
}

PLAINTEST(badArgumentsAreRejectedBeforeLoadingAnything)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"-x"},
        {"--once", "-u"},
        {"--once", "-u", "two"},
        {"--once", "-u", "7-4"},
        {"--once", "-u", "1,,2"},
        {"--once", "-u", "+3"},
        {"--once", "-c", "0-4"},
        {"--once", "-c", "1-513"},
        {"--once", "-c", "9-2"},
        {"--once", "--library"},
        {"--once", "--library="},
        {"-r", "0"},
        {"-r", "fast"},
    };
    for (const std::vector<std::string> &arguments : cases) {
        // A library that does not exist: bad arguments must be reported first.
        std::vector<std::string> withMissing = arguments;
        withMissing.insert(withMissing.begin(), {"--library", "no-such-driver-library"});
        if (arguments.back() == "--library" || arguments.back() == "--library=")
            withMissing = arguments;
        checkFailure(monitor(withMissing, false), DmxMonitor::BadArguments, "Try 'dmxmonitor --help'");
    }
}

PLAINTEST(missingLibraryIsReportedAsSuch)
{
    checkFailure(monitor({"--once", "--library", "no-such-driver-library"}, false), DmxMonitor::NoLibrary,
                 "cannot use the driver library no-such-driver-library");
}

PLAINTEST(universesOutsideThePortsAreOutOfRange)
{
    // The library answers this whether or not the area exists.
    for (const char *universe : {"256", "-1", "0-300", "70000", "99999999999999999"}) {
        for (const std::vector<std::string> &arguments :
             {std::vector<std::string>{"--once", "-u", universe}, std::vector<std::string>{"--once", universe}}) {
            const Result r = monitor(arguments);
            checkFailure(r, DmxMonitor::UniverseOutOfRange, " is out of range");
            PT_CHECK(contains(r.err, std::string("universe ") + universe + " is out of range")
                     || contains(r.err, "universe 256 is out of range"));
        }
    }
}

PLAINTEST(withoutTheAreaNoDeviceIsFound)
{
    checkFailure(monitor({"--once", "-u", "0"}), DmxMonitor::NoArea, "is Dorvantis running?");
}

PLAINTEST(oncePrintsDeviceLengthCountAndChannels)
{
    SharedArea area(SharedArea::Mode::Create); // as the program holds it while it runs
    PT_CHECK(area.isValid());
    UniverseRecord &three = area.record(3);
    const unsigned char values[] = {255, 128, 0, 9};
    std::memcpy(three.data, values, sizeof values);
    three.data[511] = 77;
    three.length = 4;
    three.packetCount = 4000000000u;
    area.record(255).data[0] = 1;

    checkSuccess(monitor({"--once", "-u", "3", "255", "-c", "1-4"}),
                 {"version 2.310\n", "\ndevice 1 VeldNet Eth-DMX\n",
                  "\nuniverse 3 length 4 packets 4000000000 channels 1-4: 255 128 0 9\n",
                  "\nuniverse 255 length 0 packets 0 channels 1-4: 1 0 0 0\n"});

    // Bytes past the valid length still belong to the record and are shown.
    checkSuccess(monitor({"--once", "-u", "3", "-c", "511-512"}),
                 {"universe 3 length 4 packets 4000000000 channels 511-512: 0 77\n"});
}

PLAINTEST(universeListsKeepTheirOrderAndRanges)
{
    SharedArea area(SharedArea::Mode::Create); // as the program holds it while it runs
    PT_CHECK(area.isValid());
    for (int u = 0; u < 8; ++u)
        area.record(u).data[0] = static_cast<std::uint8_t>(u * 10);

    checkSuccess(monitor({"--once", "-c", "1", "-u", "5,0-2", "7"}),
                 {"universe 5 length 0 packets 0 channels 1-1: 50\n"
                  "universe 0 length 0 packets 0 channels 1-1: 0\n"
                  "universe 1 length 0 packets 0 channels 1-1: 10\n"
                  "universe 2 length 0 packets 0 channels 1-1: 20\n"
                  "universe 7 length 0 packets 0 channels 1-1: 70\n"});
}

PLAINTEST(sourcesFollowEachUniverse)
{
    SharedArea area(SharedArea::Mode::Create); // as the program holds it while it runs
    PT_CHECK(area.isValid());
    checkSuccess(monitor({"--sources", "-u", "3", "-c", "1"}),
                 {"\nsources: none published (Dorvantis is not running or too old)\nuniverse 3 "});

    NodeStateWriter state;
    ProgramState program = {};
    program.nowMs = 5000;
    state.publishProgram(program);
    RecordState record = {};
    record.sourceCount = 2;
    SourceState &artNet = record.sources[0];
    artNet.address = 0x7F000002;
    artNet.port = 6454;
    artNet.universe = 3;
    artNet.packets = 880;
    artNet.lastMs = 4980;
    SourceState &sacn = record.sources[1];
    sacn.protocol = std::uint8_t(NodeState::SourceProtocol::Sacn);
    sacn.held = std::uint8_t(NodeState::Held::ArtNetFirst);
    sacn.priority = 100;
    std::memset(sacn.sourceName, 'n', sizeof sacn.sourceName); // no terminator
    sacn.address = 0x7F000003;
    sacn.port = 5568;
    sacn.universe = 4;
    sacn.packets = 96;
    sacn.lastMs = 5000;
    state.publishRecord(3, record);

    checkSuccess(monitor({"--sources", "-u", "3-4", "-c", "1"}),
                 {"\nuniverse 3 length 0 packets 0 channels 1-1: 0\n"
                  "  source Art-Net 127.0.0.2:6454 universe 3 packets 880 seen 20 ms ago held no\n"
                  "  source sACN 127.0.0.3:5568 universe 4 name \"" + std::string(64, 'n')
                      + "\" priority 100 packets 96 seen 0 ms ago held artnet-first\n"
                        "universe 4 length 0 packets 0 channels 1-1: 0\n  no sources\n"});
}

PLAINTEST_MAIN()
