#include "recordrouter.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

RecordRouter::RecordRouter(ArtNetMerge::Mode artNetMerge, Writer writer)
    : write(std::move(writer)),
      merge(artNetMerge == ArtNetMerge::Mode::Latest ? nullptr : new ArtNetMerge(artNetMerge))
{
    std::fill(std::begin(lastArtNetMs), std::end(lastArtNetMs), std::numeric_limits<std::int64_t>::min() / 2);
    std::fill(std::begin(lastWriteMs), std::end(lastWriteMs), -1);
}

ArtNetMerge::Mode RecordRouter::artNetMerge() const
{
    return merge ? merge->mode() : ArtNetMerge::Mode::Latest;
}

void RecordRouter::setMergeListener(MergeListener listener)
{
    mergeListener = std::move(listener);
}

void RecordRouter::take(const ReceiveFrame &frame, std::int64_t nowMs)
{
    if (frame.record < 0 || frame.record >= UniverseMap::RecordCount)
        return;
    if (frame.origin.protocol == Protocol::ArtNet) {
        takeArtNet(frame, nowMs);
        return;
    }
    HeldBack held = frame.held;
    if (held == HeldBack::No && nowMs - lastArtNetMs[frame.record] < ArtNetHoldMs)
        held = HeldBack::ArtNetFirst;
    table.note(frame.record, frame.origin, held, nowMs);
    if (held == HeldBack::No)
        writeRecord(frame.record, frame.levels, frame.length, nowMs);
    else if (held == HeldBack::ArtNetFirst)
        log.note(UnreachedLog::Reason::HeldByArtNet, frame.origin, frame.record, nowMs);
}

void RecordRouter::noteUnreached(UnreachedLog::Reason reason, const FrameOrigin &origin, std::int64_t nowMs)
{
    log.note(reason, origin, -1, nowMs);
}

void RecordRouter::writeRecord(int record, const std::uint8_t *levels, int length, std::int64_t nowMs)
{
    write(record, levels, length);
    ++writes[record];
    lastWriteMs[record] = nowMs;
}

void RecordRouter::takeArtNet(const ReceiveFrame &frame, std::int64_t nowMs)
{
    lastArtNetMs[frame.record] = nowMs;
    if (!merge) {
        table.note(frame.record, frame.origin, HeldBack::No, nowMs);
        writeRecord(frame.record, frame.levels, frame.length, nowMs);
        return;
    }
    const std::uint8_t *levels = nullptr;
    int length = 0;
    const bool taken =
        merge->take(frame.record, frame.origin.address, frame.levels, frame.length, nowMs, &levels, &length);
    table.note(frame.record, frame.origin, taken ? HeldBack::No : HeldBack::ThirdSource, nowMs);
    noteMerging(frame.record, nowMs);
    if (taken)
        writeRecord(frame.record, levels, length, nowMs);
    else
        log.note(UnreachedLog::Reason::ThirdSource, frame.origin, frame.record, nowMs);
}

void RecordRouter::expire(std::int64_t nowMs)
{
    if (merge) {
        for (int record = 0; record < UniverseMap::RecordCount; ++record) {
            if (isMerging[record])
                noteMerging(record, nowMs);
        }
    }
    table.forgetSilent(nowMs);
    log.forgetSilent(nowMs);
}

void RecordRouter::noteMerging(int record, std::int64_t nowMs)
{
    const bool now = merge->merging(record, nowMs);
    if (now == isMerging[record])
        return;
    isMerging[record] = now;
    if (mergeListener)
        mergeListener(record, now);
}
