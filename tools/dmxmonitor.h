#ifndef DMXMONITOR_H
#define DMXMONITOR_H

// The dmxmonitor command: reads its arguments, plays host to the driver
// library and prints the chosen universes once or hands them to the live view,
// with each universe's senders from the program's state section if asked.
// Qt-free, so that the plain-text mode cross-builds for Windows.

#include "nodestatelayout.h"
#include "universedataarea.h"

#include <ostream>
#include <string>
#include <vector>

class DmxMonitor
{
public:
    enum ExitCode {
        Ok = 0,
        BadArguments = 1,
        NoLibrary = 2,
        NoArea = 3,
        UniverseOutOfRange = 4,
        NoTerminal = 5,
    };

    DmxMonitor(std::ostream &out, std::ostream &err);

    // arguments without the program name
    int run(const std::vector<std::string> &arguments);

    static bool hasLiveView();

private:
    bool parse(const std::vector<std::string> &arguments);
    int badArguments(const std::string &message);
    void printHelp();
    void printSources(const RecordState &record, std::int64_t nowMs);

    std::ostream &out;
    std::ostream &err;
    std::string libraryFile;
    std::vector<long long> requested; // universes as given, checked against the library
    int firstChannel = 1;
    int lastChannel = UniverseData::ChannelCount;
    double rate = 10;
    bool once = false;
    bool sources = false;
    bool help = false;
    std::string parseError;
};

#endif // DMXMONITOR_H
