#ifndef AREAMODEL_H
#define AREAMODEL_H

// What the receive path (engine, mapper, area) makes of one datagram, worked
// out from the datagram's bytes alone and not through the program's records:
// the oracle of the flood test and of the datagram fuzzer.
//
// An ArtDmx is "Art-Net", a zero byte and opcode 0x5000 low byte first, and
// at least its 18-byte header; universe is low byte first, length high byte
// first. The engine reads at most 530 bytes and promises no channel that did
// not arrive; a record holds 512.

#include "universedataarea.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace AreaModel {

constexpr std::size_t HeaderBytes = 18;
constexpr std::size_t ReceiveBufferBytes = 530;

enum class Kind { Other, Poll, DmxForRecord, DmxBeyondRecords, ShortDmx };

struct Effect
{
    Kind kind = Kind::Other;
    unsigned universe = 0; // of an ArtDmx
};

// Applies the datagram to `area`, an image of the whole universe data area.
inline Effect apply(std::uint8_t *area, const std::uint8_t *datagram, std::size_t size)
{
    static const std::uint8_t id[8] = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
    Effect effect;
    if (size < 10 || std::memcmp(datagram, id, sizeof id) != 0)
        return effect;
    const unsigned opCode = datagram[8] | datagram[9] << 8;
    if (opCode == 0x2000)
        effect.kind = Kind::Poll;
    if (opCode != 0x5000)
        return effect;
    if (size < HeaderBytes) {
        effect.kind = Kind::ShortDmx;
        return effect;
    }
    effect.universe = datagram[14] | datagram[15] << 8;
    if (effect.universe >= unsigned(UniverseData::UniverseCount)) {
        effect.kind = Kind::DmxBeyondRecords;
        return effect;
    }
    effect.kind = Kind::DmxForRecord;
    const std::size_t stated = datagram[16] << 8 | datagram[17];
    const std::size_t read = size < ReceiveBufferBytes ? size : ReceiveBufferBytes;
    const std::size_t arrived = read > HeaderBytes ? read - HeaderBytes : 0;
    std::size_t written = stated < arrived ? stated : arrived;
    if (written > std::size_t(UniverseData::ChannelCount))
        written = UniverseData::ChannelCount;

    UniverseRecord record;
    std::uint8_t *image = area + effect.universe * UniverseData::RecordSize;
    std::memcpy(&record, image, sizeof record);
    std::memcpy(record.data, datagram + HeaderBytes, written);
    record.length = std::int32_t(written);
    ++record.packetCount;
    std::memcpy(image, &record, sizeof record);
    return effect;
}

} // namespace AreaModel

#endif // AREAMODEL_H
