// Loads the driver library by file name as the visualiser host does, detects
// the device, connects and prints the channels of the universes asked for.
//
//   drivertesthost [--ordinal] LIBRARY [UNIVERSE...]

#include "driverlibrary.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint16_t DeviceId = 1;

int usage()
{
    std::fprintf(stderr,
                 "usage: drivertesthost [--ordinal] LIBRARY [UNIVERSE...]\n"
                 "  --ordinal  resolve the functions by ordinal (Windows only)\n"
                 "  UNIVERSE   0 to 255; universe 0 when none is given\n");
    return 64;
}

bool parseUniverse(const char *text, int32_t &universe)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 255)
        return false;
    universe = static_cast<int32_t>(value);
    return true;
}

void printChannels(const uint8_t *channels, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (i % 16 == 0)
            std::printf("  %03d:", i + 1);
        std::printf(" %02x", channels[i]);
        if (i % 16 == 15 || i + 1 == count)
            std::printf("\n");
    }
}

} // namespace

int main(int argc, char **argv)
{
    DriverLibrary::Binding binding = DriverLibrary::Binding::ByName;
    int arg = 1;
    if (arg < argc && std::strcmp(argv[arg], "--ordinal") == 0) {
        binding = DriverLibrary::Binding::ByOrdinal;
        ++arg;
    }
    if (arg >= argc)
        return usage();
    const char *fileName = argv[arg++];

    std::vector<int32_t> universes;
    for (; arg < argc; ++arg) {
        int32_t universe = 0;
        if (!parseUniverse(argv[arg], universe))
            return usage();
        universes.push_back(universe);
    }
    if (universes.empty())
        universes.push_back(0);

    DriverLibrary library;
    if (!library.load(fileName, binding)) {
        std::fprintf(stderr, "drivertesthost: %s\n", library.errorString().c_str());
        return 1;
    }
    const DriverFunctions &driver = library.functions();

    int32_t major = 0;
    int32_t minor = 0;
    driver.GetVersionInfo(&major, &minor);
    std::printf("version %d.%d, driver caps %d, device caps %d\n", major, minor,
                driver.GetDriverCaps(), driver.GetDevCaps(DeviceId));

    // Zeroed like a host's fresh list.
    static VdEthDmxDeviceList devices;
    driver.StartDetect(DeviceId, &devices);
    std::printf("detected %d device(s)\n", devices.count);
    for (int32_t i = 0; i < devices.count; ++i) {
        const VdEthDmxDeviceEntry &entry = devices.entries[i];
        std::printf("  device %d: id %u, name \"%s\", type \"%s\"\n", i,
                    static_cast<unsigned>(entry.deviceId), entry.name, entry.type);
    }

    const int32_t connected = driver.Connect();
    if (connected != 0) {
        std::printf("connect failed (%d): is the program running?\n", connected);
        return 2;
    }
    std::printf("connected, %d ports\n", driver.GetNumPorts(DeviceId));
    for (int32_t universe : universes) {
        uint8_t *channels = nullptr;
        const int32_t count = driver.GetPortBuffer(DeviceId, universe, &channels);
        std::printf("universe %d: %d channels\n", universe, count);
        if (channels)
            printChannels(channels, count);
    }
    driver.Disconnect(DeviceId);
    return 0;
}
