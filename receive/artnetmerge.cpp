#include "artnetmerge.h"

#include "htpmerge.h"
#include "universemap.h"

#include <algorithm>
#include <cstring>

namespace {

struct Source
{
    bool present = false;
    std::uint32_t address = 0;
    std::int64_t lastMs = 0;
    int length = 0;
    std::uint8_t levels[ArtNetMerge::SlotCount];

    bool live(std::int64_t nowMs) const { return present && nowMs - lastMs < ArtNetMerge::SourceTimeoutMs; }
};

} // namespace

struct ArtNetMerge::Record
{
    Source sources[2];
    std::uint8_t merged[SlotCount];
    int mergedLength = 0;
};

ArtNetMerge::ArtNetMerge(Mode mode)
    : merge(mode),
      records(new Record[UniverseMap::RecordCount])
{
}

ArtNetMerge::~ArtNetMerge() = default;

bool ArtNetMerge::take(int record, std::uint32_t address, const std::uint8_t *levels, int length,
                       std::int64_t nowMs, const std::uint8_t **merged, int *mergedLength)
{
    Record &table = records[record];
    for (Source &source : table.sources) {
        if (!source.live(nowMs))
            source.present = false;
    }
    int index = 0;
    while (index < 2 && !(table.sources[index].present && table.sources[index].address == address))
        ++index;
    const bool known = index < 2;
    if (!known) {
        index = table.sources[0].present ? 1 : 0;
        if (table.sources[index].present)
            return false;
        table.sources[index].present = true;
        table.sources[index].address = address;
    }
    Source &source = table.sources[index];
    const Source &other = table.sources[1 - index];
    length = std::clamp(length, 0, int(SlotCount));

    if (!other.present || merge == Mode::Htp) {
        std::memcpy(table.merged, levels, std::size_t(length));
        table.mergedLength = other.present ? HtpMerge::into(table.merged, length, other.levels, other.length) : length;
    } else {
        // LTP: only the slots this source changed take its levels.
        for (int slot = 0; slot < length; ++slot) {
            if (!known || slot >= source.length || levels[slot] != source.levels[slot])
                table.merged[slot] = levels[slot];
        }
        table.mergedLength = std::max(length, other.length);
    }
    std::memcpy(source.levels, levels, std::size_t(length));
    source.length = length;
    source.lastMs = nowMs;
    *merged = table.merged;
    *mergedLength = table.mergedLength;
    return true;
}

bool ArtNetMerge::merging(int record, std::int64_t nowMs) const
{
    const Record &table = records[record];
    return table.sources[0].live(nowMs) && table.sources[1].live(nowMs);
}
