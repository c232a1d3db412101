#include "sacnmerger.h"

#include "htpmerge.h"

#include <algorithm>
#include <cstring>
#include <utility>

struct SacnMerger::Source
{
    Sacn::Cid cid;
    char sourceName[Sacn::SourceNameLength];
    quint32 sender;
    quint16 universe;
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
    : pool(new Source[MaxSources])
{
    freePlaces.reserve(MaxSources);
    for (int i = MaxSources; i-- > 0;)
        freePlaces.push_back(quint16(i));
}

SacnMerger::~SacnMerger() = default;

void SacnMerger::setUniverses(const QVector<quint16> &universes)
{
    for (Table &table : tables) {
        for (int i = 0; i < table.count; ++i)
            freePlaces.push_back(table.sources[i]);
        table.count = 0;
    }
    QVector<quint16> sorted;
    for (quint16 universe : universes) {
        if (universe >= Sacn::MinUniverse && universe <= Sacn::MaxUniverse)
            sorted.append(universe);
    }
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    listed = sorted.mid(0, MaxUniverses);
}

const QVector<quint16> &SacnMerger::universes() const
{
    return listed;
}

void SacnMerger::setSourceListener(SourceListener sourceListener)
{
    listener = std::move(sourceListener);
}

int SacnMerger::tableOf(quint16 universe) const
{
    const auto found = std::lower_bound(listed.cbegin(), listed.cend(), universe);
    return found != listed.cend() && *found == universe ? int(found - listed.cbegin()) : -1;
}

SacnMerger::Outcome SacnMerger::take(const Sacn::DataPacket &packet, quint32 sender, qint64 nowMs,
                                     SacnLevels *levels)
{
    const int tableIndex = tableOf(packet.universe);
    if (tableIndex < 0)
        return Outcome::NotMapped;
    dropSilent(tableIndex, nowMs);

    Table &table = tables[tableIndex];
    int index = 0;
    while (index < table.count && pool[table.sources[index]].cid != *packet.cid)
        ++index;
    const bool known = index < table.count;
    if (known && outOfSequence(pool[table.sources[index]].sequence, packet.sequence))
        return Outcome::OutOfSequence;
    // A terminated stream ends its source whatever else the packet says, a
    // preview among it; its property values are to be ignored, and only a
    // known source has anything to end.
    if (packet.options & Sacn::OptionStreamTerminated) {
        if (known)
            leave(tableIndex, index, Change::Terminated);
        return Outcome::Terminated;
    }
    if (packet.options & Sacn::OptionPreviewData)
        return Outcome::Preview;
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
        source.universe = packet.universe;
    }
    source.lastMs = nowMs;
    source.sequence = packet.sequence;
    source.priority = packet.priority;
    source.length = packet.slotCount;
    std::memcpy(source.levels, packet.values, std::size_t(packet.slotCount));
    if (!known)
        report(Change::Appeared, tableIndex, source);

    for (int i = 0; i < table.count; ++i) {
        if (pool[table.sources[i]].priority > source.priority) {
            *levels = levelsOf(source, false);
            return Outcome::NotWinning;
        }
    }
    *levels = levelsOf(source, true);
    merge(tableIndex, source.priority, levels);
    return Outcome::Written;
}

SacnLevels SacnMerger::levelsOf(const Source &source, bool winning) const
{
    return SacnLevels{source.universe,   winning,       source.length, source.levels, &source.cid,
                      source.sourceName, source.sender, 0,             source.priority};
}

void SacnMerger::merge(int tableIndex, quint8 priority, SacnLevels *levels)
{
    // The usual case, one winner, hands on its own levels untouched.
    const Table &table = tables[tableIndex];
    const Source *firstWinner = nullptr;
    int length = 0;
    for (int i = 0; i < table.count; ++i) {
        const Source &source = pool[table.sources[i]];
        if (source.priority != priority)
            continue;
        if (!firstWinner) {
            firstWinner = &source;
            continue;
        }
        if (levels->levels != merged) {
            std::memcpy(merged, firstWinner->levels, std::size_t(firstWinner->length));
            length = firstWinner->length;
            levels->levels = merged;
        }
        length = HtpMerge::into(merged, length, source.levels, source.length);
    }
    if (levels->levels == merged)
        levels->length = length;
}

void SacnMerger::expire(qint64 nowMs)
{
    for (int table = 0; table < listed.size(); ++table)
        dropSilent(table, nowMs);
}

void SacnMerger::dropSilent(int tableIndex, qint64 nowMs)
{
    const Table &table = tables[tableIndex];
    for (int i = table.count; i-- > 0;) {
        if (nowMs - pool[table.sources[i]].lastMs >= NetworkDataLossMs)
            leave(tableIndex, i, Change::TimedOut);
    }
}

void SacnMerger::leave(int tableIndex, int index, Change why)
{
    Table &table = tables[tableIndex];
    const quint16 place = table.sources[index];
    table.sources[index] = table.sources[--table.count];
    freePlaces.push_back(place);
    report(why, tableIndex, pool[place]);
}

void SacnMerger::report(Change change, int tableIndex, const Source &source) const
{
    if (listener)
        listener(SourceEvent{change, listed.at(tableIndex), source.cid, source.sourceName, source.sender,
                             source.priority});
}

int SacnMerger::sourceCount(quint16 universe) const
{
    const int table = tableOf(universe);
    return table < 0 ? 0 : tables[table].count;
}

int SacnMerger::sourceCount() const
{
    return MaxSources - int(freePlaces.size());
}
