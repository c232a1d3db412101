#include "sourcetable.h"

#include "universemap.h"

#include <cstddef>
#include <cstring>

struct SourceTable::Record
{
    Source sources[SourcesPerRecord];
    int count = 0;
};

namespace {

bool sameSource(const SourceTable::Source &source, const FrameOrigin &origin)
{
    if (source.protocol != origin.protocol)
        return false;
    if (origin.protocol == Protocol::Sacn)
        return std::memcmp(source.cid, origin.cid, sizeof source.cid) == 0;
    return source.address == origin.address;
}

// Art-Net origins carry no CID or name: their fields keep what they held.
template <typename Byte, std::size_t Size>
void copyIfGiven(Byte (&field)[Size], const Byte *given)
{
    if (given)
        std::memcpy(field, given, sizeof field);
}

} // namespace

SourceTable::SourceTable()
    : records(new Record[UniverseMap::RecordCount])
{
}

SourceTable::~SourceTable() = default;

void SourceTable::note(int record, const FrameOrigin &origin, HeldBack held, std::int64_t nowMs)
{
    Record &table = records[record];
    int index = 0;
    while (index < table.count && !sameSource(table.sources[index], origin))
        ++index;
    if (index == table.count) {
        if (table.count < SourcesPerRecord) {
            ++table.count;
        } else {
            index = 0;
            for (int i = 1; i < table.count; ++i) {
                if (table.sources[i].lastMs < table.sources[index].lastMs)
                    index = i;
            }
        }
        Source &fresh = table.sources[index];
        fresh = Source{};
        fresh.protocol = origin.protocol;
        fresh.address = origin.address;
        copyIfGiven(fresh.cid, origin.cid);
        fresh.sinceMs = nowMs;
        fresh.windowStartMs = nowMs;
    }
    Source &source = table.sources[index];
    // A source may move to another port, or rename itself.
    source.port = origin.port;
    source.universe = origin.universe;
    copyIfGiven(source.sourceName, origin.sourceName);
    source.priority = origin.priority;
    source.lastMs = nowMs;
    const std::int64_t window = nowMs - source.windowStartMs;
    if (window >= RateWindowMs) {
        source.rate = std::uint32_t((std::int64_t(source.windowPackets) * 1000 + window / 2) / window);
        source.windowStartMs = nowMs;
        source.windowPackets = 0;
    }
    ++source.windowPackets;
    ++source.packets;
    if (held != HeldBack::No)
        ++source.heldPackets;
    source.held = held;
}

void SourceTable::forgetSilent(std::int64_t nowMs)
{
    for (int record = 0; record < UniverseMap::RecordCount; ++record) {
        Record &table = records[record];
        for (int i = table.count; i-- > 0;) {
            if (nowMs - table.sources[i].lastMs >= ForgetAfterMs)
                table.sources[i] = table.sources[--table.count];
        }
    }
}

std::uint32_t SourceTable::packetsPerSecond(const Source &source, std::int64_t nowMs)
{
    return nowMs - source.lastMs > RateWindowMs ? 0 : source.rate;
}

int SourceTable::count(int record) const
{
    return records[record].count;
}

const SourceTable::Source &SourceTable::source(int record, int index) const
{
    return records[record].sources[index];
}
