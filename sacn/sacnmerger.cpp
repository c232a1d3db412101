#include "sacnmerger.h"

#include <algorithm>
#include <cstring>
#include <utility>

struct SacnMerger::Source
{
    Sacn::Cid cid;
    char sourceName[Sacn::SourceNameLength];
    quint32 sender;
    qint64 lastMs;
    int length;
    quint8 priority;
    quint8 sequence;
    quint8 levels[Sacn::MaxSlots];
};

namespace {

// E1.31 6.7.2: with A the last sequence number taken and B the new one, B is
// discarded when B - A, as a signed 8-bit difference, is 0 or down to -19.
// Anything else is taken, so a source that restarts its count gets through.
bool outOfSequence(quint8 last, quint8 next)
{
    int difference = quint8(next - last);
    if (difference > 127)
        difference -= 256;
    return difference <= 0 && difference > -20;
}

} // namespace

SacnMerger::SacnMerger()
    : first(Sacn::MinUniverse),
      pool(new Source[MaxSources])
{
    freePlaces.reserve(MaxSources);
    for (int i = MaxSources; i-- > 0;)
        freePlaces.push_back(quint16(i));
}

SacnMerger::~SacnMerger() = default;

void SacnMerger::setUniverses(quint16 firstUniverse, const QVector<quint16> &records)
{
    for (int record = 0; record < RecordCount; ++record) {
        Record &table = recordTables[record];
        for (int i = 0; i < table.count; ++i)
            freePlaces.push_back(table.sources[i]);
        table.count = 0;
        table.mapped = false;
    }
    first = qBound(Sacn::MinUniverse, firstUniverse, LastFirstUniverse);
    mappedRecords.clear();
    for (quint16 record : records) {
        if (record < RecordCount && !recordTables[record].mapped) {
            recordTables[record].mapped = true;
            mappedRecords.append(record);
        }
    }
}

quint16 SacnMerger::firstUniverse() const
{
    return first;
}

const QVector<quint16> &SacnMerger::records() const
{
    return mappedRecords;
}

quint16 SacnMerger::universeOf(int record) const
{
    return quint16(first + record);
}

void SacnMerger::setSourceListener(SourceListener sourceListener)
{
    listener = std::move(sourceListener);
}

int SacnMerger::recordOf(quint16 universe) const
{
    const int record = int(universe) - int(first);
    return record >= 0 && record < RecordCount && recordTables[record].mapped ? record : -1;
}

SacnMerger::Outcome SacnMerger::take(const Sacn::DataPacket &packet, quint32 sender, qint64 nowMs,
                                     SacnLevels *written)
{
    const int record = recordOf(packet.universe);
    if (record < 0)
        return Outcome::NotMapped;
    if (packet.options & Sacn::OptionPreviewData)
        return Outcome::Preview;
    dropSilent(record, nowMs);

    Record &table = recordTables[record];
    int index = 0;
    while (index < table.count && pool[table.sources[index]].cid != *packet.cid)
        ++index;
    const bool known = index < table.count;
    if (known && outOfSequence(pool[table.sources[index]].sequence, packet.sequence))
        return Outcome::OutOfSequence;
    // Its property values are to be ignored; only a known source has anything to end.
    if (packet.options & Sacn::OptionStreamTerminated) {
        if (known)
            leave(record, index, Change::Terminated);
        return Outcome::Terminated;
    }
    if (packet.startCode != Sacn::StartCodeLevels)
        return Outcome::OtherStartCode;

    if (!known) {
        if (table.count == SourcesPerUniverse || freePlaces.empty())
            return Outcome::SourceLimit;
        table.sources[table.count++] = freePlaces.back();
        freePlaces.pop_back();
    }
    Source &source = pool[table.sources[index]];
    if (!known) {
        source.cid = *packet.cid;
        std::memcpy(source.sourceName, packet.sourceName, sizeof source.sourceName);
        source.sender = sender;
    }
    source.lastMs = nowMs;
    source.sequence = packet.sequence;
    source.priority = packet.priority;
    source.length = packet.slotCount;
    std::memcpy(source.levels, packet.values, std::size_t(packet.slotCount));
    if (!known)
        report(Change::Appeared, record, source);

    for (int i = 0; i < table.count; ++i) {
        if (pool[table.sources[i]].priority > source.priority)
            return Outcome::NotWinning;
    }
    *written = merge(record, source.priority);
    return Outcome::Written;
}

SacnLevels SacnMerger::merge(int record, quint8 priority)
{
    const Record &table = recordTables[record];
    const Source *winners[SourcesPerUniverse];
    int winnerCount = 0;
    for (int i = 0; i < table.count; ++i) {
        if (pool[table.sources[i]].priority == priority)
            winners[winnerCount++] = &pool[table.sources[i]];
    }
    // The usual case, one source: its own levels, nothing to merge.
    if (winnerCount == 1)
        return SacnLevels{quint16(record), universeOf(record), winners[0]->length, winners[0]->levels};

    int length = 0;
    std::memset(merged, 0, sizeof merged);
    for (int w = 0; w < winnerCount; ++w) {
        const Source &source = *winners[w];
        for (int slot = 0; slot < source.length; ++slot)
            merged[slot] = std::max(merged[slot], source.levels[slot]);
        length = std::max(length, source.length);
    }
    return SacnLevels{quint16(record), universeOf(record), length, merged};
}

void SacnMerger::expire(qint64 nowMs)
{
    for (quint16 record : std::as_const(mappedRecords))
        dropSilent(record, nowMs);
}

void SacnMerger::dropSilent(int record, qint64 nowMs)
{
    const Record &table = recordTables[record];
    for (int i = table.count; i-- > 0;) {
        if (nowMs - pool[table.sources[i]].lastMs >= NetworkDataLossMs)
            leave(record, i, Change::TimedOut);
    }
}

void SacnMerger::leave(int record, int index, Change why)
{
    Record &table = recordTables[record];
    const quint16 place = table.sources[index];
    table.sources[index] = table.sources[--table.count];
    freePlaces.push_back(place);
    report(why, record, pool[place]);
}

void SacnMerger::report(Change change, int record, const Source &source) const
{
    if (listener)
        listener(SourceEvent{change, quint16(record), universeOf(record), source.cid, source.sourceName,
                             source.sender, source.priority});
}

int SacnMerger::sourceCount(int record) const
{
    return record >= 0 && record < RecordCount ? recordTables[record].count : 0;
}

int SacnMerger::sourceCount() const
{
    return MaxSources - int(freePlaces.size());
}
