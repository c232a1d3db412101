#ifndef MONITORHOST_H
#define MONITORHOST_H

// The monitor's side of the driver interface, played the way a visualiser host
// plays it: load the library by file name, detect, connect, then read ports
// through GetPortBuffer. The library hands out channel bytes only; the packet
// counter that sits after them in each record is read through a read-only view
// of the area of its own, so that nothing depends on what lies beyond the
// 512 bytes the library promises. Qt-free.

#include "driverlibrary.h"
#include "sharedarea.h"

#include <cstdint>
#include <string>
#include <vector>

class MonitorHost
{
public:
    struct Port
    {
        int length = -1; // -1 when the library gives no data for the port
        const std::uint8_t *channels = nullptr;
        bool counted = false; // packets is known
        std::uint32_t packets = 0;
    };

    MonitorHost() = default;
    ~MonitorHost();
    MonitorHost(const MonitorHost &) = delete;
    MonitorHost &operator=(const MonitorHost &) = delete;

    // The platform's file name of the driver library.
    static std::string defaultLibraryName();

    bool load(const std::string &fileName);
    const std::string &errorString() const { return error; }

    // Valid only once loaded.
    bool isPort(int universe) const;
    std::string versionText() const;
    // One line per device that StartDetect reports ("<id> <name> <type>").
    std::vector<std::string> detect();

    // Connects and opens the counter view; false when the area does not exist.
    bool connect();
    Port port(int universe) const;

private:
    void release();

    DriverLibrary library;
    bool connected = false;
    SharedArea counters; // read-only
    std::string error;
};

#endif // MONITORHOST_H
