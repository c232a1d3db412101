#include "vdethdmx.h"

#include "sharedsection.h"
#include "universedataarea.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// The host calls from one thread at a time, so plain globals suffice.
SharedSection::Handle MemFile = nullptr;
int32_t NumConn = 0;
UniverseDataArea *Frame = nullptr;

using VdEthDmx::ConnectFailed;
using VdEthDmx::Connected;
using VdEthDmx::DeviceListCapacity;
using VdEthDmx::NoData;

constexpr char DeviceName[] = "VeldNet";
constexpr char DeviceType[] = "Eth-DMX";

bool isPort(int32_t port)
{
    return port >= 0 && port < UniverseData::UniverseCount;
}

// Any process of the same user may write the area, and the program writes it
// while the host reads: read the count exactly once and never hand the host
// more channels than a record holds.
int32_t channelsOf(const UniverseRecord &record)
{
    const int32_t length = *static_cast<const volatile int32_t *>(&record.length);
    if (length < 0)
        return 0;
    if (length > UniverseData::ChannelCount)
        return UniverseData::ChannelCount;
    return length;
}

void release()
{
    if (Frame)
        SharedSection::unmap(Frame);
    Frame = nullptr;
    if (MemFile)
        SharedSection::close(MemFile);
    MemFile = nullptr;
}

} // namespace

extern "C" {

int32_t VDETHDMX_CALL Connect(void)
{
    if (NumConn > 0) {
        ++NumConn;
        return Connected;
    }
    MemFile = SharedSection::open(UniverseData::SectionName, SharedSection::Access::Write);
    if (MemFile) {
        // A section of that name but smaller than the area would let the host
        // read past the view.
        Frame = static_cast<UniverseDataArea *>(
            SharedSection::mapAtLeast(MemFile, SharedSection::Access::Write, UniverseData::AreaSize));
        if (Frame) {
            ++NumConn;
            return Connected;
        }
    }
    release();
    return ConnectFailed;
}

void VDETHDMX_CALL Disconnect(uint16_t)
{
    // A Disconnect without an open connection must not unbalance the count.
    if (NumConn <= 0)
        return;
    if (--NumConn > 0)
        return;
    release();
}

int32_t VDETHDMX_CALL GetDevCaps(uint16_t)
{
    return 1;
}

int32_t VDETHDMX_CALL GetDriverCaps(void)
{
    return 1;
}

int32_t VDETHDMX_CALL GetNumChannels(uint16_t, int32_t port)
{
    if (!Frame || !isPort(port))
        return NoData;
    return channelsOf(Frame->universes[port]);
}

int32_t VDETHDMX_CALL GetNumPorts(uint16_t)
{
    return Frame ? UniverseData::UniverseCount : NoData;
}

int32_t VDETHDMX_CALL GetPortBuffer(uint16_t, int32_t port, uint8_t **buffer)
{
    if (!Frame || !isPort(port))
        return NoData;
    UniverseRecord &record = Frame->universes[port];
    if (buffer)
        *buffer = record.data;
    return channelsOf(record);
}

int32_t VDETHDMX_CALL GetPortCaps(uint16_t, int32_t port)
{
    return isPort(port) ? 1 : 0;
}

void VDETHDMX_CALL GetVersionInfo(int32_t *first, int32_t *second)
{
    if (first)
        *first = 2;
    if (second)
        *second = 310;
}

int32_t VDETHDMX_CALL StartDetect(uint16_t deviceId, VdEthDmxDeviceList *list)
{
    // A full list, or a count that would put the entry outside the host's
    // 32 entries, gets nothing.
    if (!list || list->count < 0 || list->count >= DeviceListCapacity)
        return 1;

    // Without a connection, the device is there only while the area exists.
    SharedSection::Handle probe = nullptr;
    if (!MemFile) {
        probe = SharedSection::open(UniverseData::SectionName, SharedSection::Access::Read);
        if (!probe)
            return 1;
    }

    VdEthDmxDeviceEntry &entry = list->entries[list->count];
    entry.deviceId = deviceId;
    std::strcpy(entry.name, DeviceName);
    std::strcpy(entry.type, DeviceType);
    std::strcpy(entry.detail, "");
    ++list->count;

    if (probe)
        SharedSection::close(probe);
    return 1;
}

} // extern "C"

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        NumConn = 0;
    // A view still open at unload stays mapped until the host process ends.
    return TRUE;
}
#endif
