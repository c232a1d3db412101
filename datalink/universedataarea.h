#ifndef UNIVERSEDATAAREA_H
#define UNIVERSEDATAAREA_H

// Layout of the shared universe data area: the only thing the program and the
// driver library have in common. Both sides include this header and nothing
// else of each other, so it must stay free of Qt.


#include <cstddef>
#include <cstdint>

namespace UniverseData {

// Plain ASCII: the program passes it widened, the driver as 8-bit text, and
// both name the same kernel object.
constexpr char SectionName[] = "Veldara Mem-Mapped Data";

constexpr int UniverseCount = 256;
constexpr int ChannelCount = 512;

} // namespace UniverseData

// Little-endian on the x86 machines both sides run on.
struct UniverseRecord
{
    std::int32_t length;  // valid bytes at the start of data; written after the data
    std::uint8_t data[UniverseData::ChannelCount];
    std::uint32_t packetCount; // packets written since the area was created; wraps
    std::uint8_t reserved[4];
};

struct UniverseDataArea
{
    UniverseRecord universes[UniverseData::UniverseCount];
};

namespace UniverseData {
constexpr std::uint32_t RecordSize = sizeof(UniverseRecord);
constexpr std::uint32_t AreaSize = sizeof(UniverseDataArea);
} // namespace UniverseData

static_assert(sizeof(UniverseRecord) == 524, "a universe record is 524 bytes");
static_assert(offsetof(UniverseRecord, length) == 0 && offsetof(UniverseRecord, data) == 4
                  && offsetof(UniverseRecord, packetCount) == 516 && offsetof(UniverseRecord, reserved) == 520,
              "record layout: length, data, packetCount, reserved at bytes 0, 4, 516, 520");
static_assert(sizeof(UniverseDataArea) == 134144, "the area is 256 records, 0x20c00 bytes");
static_assert(sizeof(UniverseData::SectionName) == 24, "23 characters and the terminator");

#endif // UNIVERSEDATAAREA_H
