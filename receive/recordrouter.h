#ifndef RECORDROUTER_H
#define RECORDROUTER_H

#include "artnetmerge.h"
#include "receiveframe.h"
#include "sourcetable.h"
#include "unreachedlog.h"
#include "universemap.h"

#include <cstdint>
#include <functional>
#include <memory>

// The policy between the protocols and the area, per record, on a clock the
// caller passes in (milliseconds, never decreasing). Art-Net comes first:
// every ArtDmx is written, merged in the Art-Net merge mode or else the
// latest winning, and for ArtNetHoldMs after the last one sACN leaves that
// record alone. Every frame, written or held back, is noted in the table of
// sources, and what is held back in the log of data that reached no record.
class RecordRouter
{
public:
    static constexpr std::int64_t ArtNetHoldMs = 2500;

    // Writes `length` levels into `record`.
    using Writer = std::function<void(int record, const std::uint8_t *levels, int length)>;
    // Told when a record starts or stops merging two Art-Net sources.
    using MergeListener = std::function<void(int record, bool merging)>;

    RecordRouter(ArtNetMerge::Mode artNetMerge, Writer writer);

    ArtNetMerge::Mode artNetMerge() const;
    void setMergeListener(MergeListener listener);

    void take(const ReceiveFrame &frame, std::int64_t nowMs);
    // For data the protocols could not hand on as a frame.
    void noteUnreached(UnreachedLog::Reason reason, const FrameOrigin &origin, std::int64_t nowMs);
    // Merges whose second source fell silent end, and silent sources and
    // entries of the log are forgotten.
    void expire(std::int64_t nowMs);

    bool merging(int record) const { return isMerging[record]; }
    const SourceTable &sources() const { return table; }
    const UnreachedLog &unreached() const { return log; }
    // Writes into the record so far, and when the last was; -1 for never.
    std::uint64_t written(int record) const { return writes[record]; }
    std::int64_t lastWrittenMs(int record) const { return lastWriteMs[record]; }

private:
    void takeArtNet(const ReceiveFrame &frame, std::int64_t nowMs);
    void noteMerging(int record, std::int64_t nowMs);
    void writeRecord(int record, const std::uint8_t *levels, int length, std::int64_t nowMs);

    const Writer write;
    const std::unique_ptr<ArtNetMerge> merge; // none for the latest winning
    MergeListener mergeListener;
    SourceTable table;
    UnreachedLog log;
    // When each record last took an ArtDmx; far enough back at first that
    // sACN may write at once.
    std::int64_t lastArtNetMs[UniverseMap::RecordCount];
    bool isMerging[UniverseMap::RecordCount] = {};
    std::uint64_t writes[UniverseMap::RecordCount] = {};
    std::int64_t lastWriteMs[UniverseMap::RecordCount];
};

#endif // RECORDROUTER_H
