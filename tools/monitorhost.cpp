#include "monitorhost.h"

#include "fieldtext.h"

#include <cstring>

#if !defined(_WIN32)
#include <climits>
#include <unistd.h>
#endif

namespace {

// Any number a host might choose; the library copies it into the entry.
constexpr std::uint16_t DeviceId = 1;

} // namespace

MonitorHost::~MonitorHost()
{
    release();
}

std::string MonitorHost::defaultLibraryName()
{
#if defined(_WIN32)
    // LoadLibrary looks in the program's own folder first.
    return "VdEthDMX.dll";
#else
    // dlopen does not look next to the program, so name that place first,
    // then driver/ beside tools/ as in a build folder.
    const std::string file = "libVdEthDMX.so";
    char self[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", self, sizeof self - 1);
    if (size > 0) {
        const std::string path(self, static_cast<std::size_t>(size));
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        for (const std::string &candidate : {folder + file, folder + "../driver/" + file}) {
            if (access(candidate.c_str(), F_OK) == 0)
                return candidate;
        }
    }
    return file;
#endif
}

bool MonitorHost::load(const std::string &fileName)
{
    release();
    if (!library.load(fileName)) {
        error = library.errorString();
        return false;
    }
    return true;
}

bool MonitorHost::isPort(int universe) const
{
    return library.functions().GetPortCaps(DeviceId, universe) == 1;
}

std::string MonitorHost::versionText() const
{
    std::int32_t first = 0;
    std::int32_t second = 0;
    library.functions().GetVersionInfo(&first, &second);
    return std::to_string(first) + "." + std::to_string(second);
}

std::vector<std::string> MonitorHost::detect()
{
    VdEthDmxDeviceList list;
    std::memset(&list, 0, sizeof list);
    library.functions().StartDetect(DeviceId, &list);
    std::vector<std::string> devices;
    for (std::int32_t i = 0; i < list.count && i < 32; ++i) {
        const VdEthDmxDeviceEntry &entry = list.entries[i];
        devices.push_back(std::to_string(entry.deviceId) + " " + fieldText(entry.name) + " "
                          + fieldText(entry.type));
    }
    return devices;
}

bool MonitorHost::connect()
{
    if (connected)
        return true;
    if (library.functions().Connect() != 0) {
        error = "the driver library cannot open the universe data area";
        return false;
    }
    connected = true;
    counters.attach(SharedArea::Mode::OpenRead);
    return true;
}

MonitorHost::Port MonitorHost::port(int universe) const
{
    Port port;
    if (!connected)
        return port;
    std::uint8_t *channels = nullptr;
    port.length = library.functions().GetPortBuffer(DeviceId, universe, &channels);
    if (port.length < 0)
        return port;
    port.channels = channels;
    if (counters.isValid() && universe >= 0 && universe < UniverseData::UniverseCount) {
        port.counted = true;
        port.packets = *static_cast<const volatile std::uint32_t *>(&counters.area()->universes[universe].packetCount);
    }
    return port;
}

void MonitorHost::release()
{
    counters.release();
    if (connected && library.isLoaded())
        library.functions().Disconnect(DeviceId);
    connected = false;
    library.unload();
}
