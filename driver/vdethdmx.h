#ifndef VDETHDMX_H
#define VDETHDMX_H

// The C interface of the VdEthDMX driver library, as the visualiser host sees
// it: ten cdecl functions with undecorated names (ordinals 1 to 10 in the
// alphabetical order of the names) and the device list the host hands to
// StartDetect. One device, 256 ports; port n is universe n of the shared
// universe data area.

#include <stdint.h>

#if defined(_WIN32)
#define VDETHDMX_CALL __cdecl
#else
#define VDETHDMX_CALL
#endif

#pragma pack(push, 1)

// One detected device, 358 bytes. The library writes deviceId and the three
// texts with their terminators; every other byte stays as the host left it.
struct VdEthDmxDeviceEntry
{
    uint16_t deviceId;
    char name[33];
    char type[33];
    char detail[290];
};

// Owned by the host; StartDetect appends to it. 32 entries make a full list.
struct VdEthDmxDeviceList
{
    int32_t count;
    struct VdEthDmxDeviceEntry entries[32];
};

#pragma pack(pop)

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(VdEthDmxDeviceEntry) == 358, "a device entry is 358 bytes");
static_assert(offsetof(VdEthDmxDeviceEntry, name) == 2, "device entry layout");
static_assert(offsetof(VdEthDmxDeviceEntry, type) == 35, "device entry layout");
static_assert(offsetof(VdEthDmxDeviceEntry, detail) == 68, "device entry layout");
static_assert(offsetof(VdEthDmxDeviceList, entries) == 4, "device list layout");
static_assert(sizeof(VdEthDmxDeviceList) == 11460, "a device list holds 32 entries");

// The integer results the functions report through; the host knows no others.
namespace VdEthDmx {
constexpr int32_t Connected = 0;
constexpr int32_t ConnectFailed = 0xffff;
constexpr int32_t NoData = -1;
constexpr int32_t DeviceListCapacity = 32;
} // namespace VdEthDmx

extern "C" {
#endif

// 0 once connected; 0xffff when the area cannot be opened or mapped.
int32_t VDETHDMX_CALL Connect(void);
// Ends one connection; the last one releases the area.
void VDETHDMX_CALL Disconnect(uint16_t deviceId);
int32_t VDETHDMX_CALL GetDevCaps(uint16_t deviceId);
int32_t VDETHDMX_CALL GetDriverCaps(void);
// Valid channels of the port (0 to 512); -1 when not connected or no such port.
int32_t VDETHDMX_CALL GetNumChannels(uint16_t deviceId, int32_t port);
// 256 while connected, -1 otherwise.
int32_t VDETHDMX_CALL GetNumPorts(uint16_t deviceId);
// Stores the address of the port's 512 channel bytes through buffer and
// returns its valid channels; -1 (and nothing stored) as GetNumChannels.
int32_t VDETHDMX_CALL GetPortBuffer(uint16_t deviceId, int32_t port, uint8_t **buffer);
// 1 for ports 0 to 255, 0 otherwise, connected or not.
int32_t VDETHDMX_CALL GetPortCaps(uint16_t deviceId, int32_t port);
void VDETHDMX_CALL GetVersionInfo(int32_t *first, int32_t *second);
// Appends the device to list while the area exists; always returns 1.
int32_t VDETHDMX_CALL StartDetect(uint16_t deviceId, struct VdEthDmxDeviceList *list);

#ifdef __cplusplus
}
#endif

#endif // VDETHDMX_H
