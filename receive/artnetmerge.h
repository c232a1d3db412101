#ifndef ARTNETMERGE_H
#define ARTNETMERGE_H

#include <cstdint>
#include <memory>

// Art-Net's merge of two sources on one universe, per record, on a clock the
// caller passes in (milliseconds, never decreasing). Sources are told apart
// by their IP address. While one source is live its levels pass as they are;
// with two, HTP takes the higher level of each slot and LTP the level of the
// source that changed the slot last (a source's first packet changes every
// slot it carries). The merged length is the longer of the two. A third
// source is held back while two are live, and a source silent for
// SourceTimeoutMs leaves. The tables are allocated once, at construction.
class ArtNetMerge
{
public:
    enum class Mode : std::uint8_t { Latest, Htp, Ltp };

    static constexpr std::int64_t SourceTimeoutMs = 10000;
    static constexpr int SlotCount = 512;

    // Htp or Ltp.
    explicit ArtNetMerge(Mode mode);
    ~ArtNetMerge();
    ArtNetMerge(const ArtNetMerge &) = delete;
    ArtNetMerge &operator=(const ArtNetMerge &) = delete;

    Mode mode() const { return merge; }

    // Takes `length` levels from `address` for `record` (0-255) and sets
    // `merged`, a view valid until the next call, to what the record now
    // holds; false, and nothing set, for a third source.
    bool take(int record, std::uint32_t address, const std::uint8_t *levels, int length, std::int64_t nowMs,
              const std::uint8_t **merged, int *mergedLength);

    // True while two sources of the record are live.
    bool merging(int record, std::int64_t nowMs) const;

private:
    struct Record;

    const Mode merge;
    std::unique_ptr<Record[]> records;
};

#endif // ARTNETMERGE_H
