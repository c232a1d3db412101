#ifndef RECORDROUTER_H
#define RECORDROUTER_H

#include "artnetmerge.h"
#include "receiveframe.h"
#include "sourcetable.h"
#include "universemap.h"

#include <cstdint>
#include <functional>
#include <memory>

// The policy between the protocols and the area, per record, on a clock the
// caller passes in (milliseconds, never decreasing). Art-Net comes first:
// every ArtDmx is written, merged in the Art-Net merge mode or else the
// latest winning, and for ArtNetHoldMs after the last one sACN leaves that
// record alone. Every frame, written or held back, is noted in the table of
// sources.
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
    // Merges whose second source fell silent end, and silent sources are forgotten.
    void expire(std::int64_t nowMs);

    bool merging(int record) const { return isMerging[record]; }
    const SourceTable &sources() const { return table; }

private:
    void takeArtNet(const ReceiveFrame &frame, std::int64_t nowMs);
    void noteMerging(int record, std::int64_t nowMs);

    const Writer write;
    const std::unique_ptr<ArtNetMerge> merge; // none for the latest winning
    MergeListener mergeListener;
    SourceTable table;
    // When each record last took an ArtDmx; far enough back at first that
    // sACN may write at once.
    std::int64_t lastArtNetMs[UniverseMap::RecordCount];
    bool isMerging[UniverseMap::RecordCount] = {};
};

#endif // RECORDROUTER_H
