#ifndef SACNMERGER_H
#define SACNMERGER_H

#include "sacnpackets.h"
#include "universedataarea.h"

#include <QVector>

#include <functional>
#include <memory>
#include <vector>

// One write of a record: its merged levels. A view valid during the call
// that hands it out.
struct SacnLevels
{
    quint16 record;
    quint16 universe;
    int length; // 0 to 512
    const quint8 *levels;
};

// The sources of every mapped sACN universe and the arbitration between
// them, on a clock the caller passes in (milliseconds, never decreasing).
// Universe first + n feeds record n, for the records listed.
//
// Per record, the sources of the highest priority win; several of them merge
// slot by slot, the highest level taking the slot, and the longest length
// the record. A level packet of a winning source writes the record once; a
// source that terminates its stream or is silent for NetworkDataLossMs
// leaves without a write, and the remaining sources take over with their
// next packet. The tables are allocated once: at most SourcesPerUniverse
// sources on a record and MaxSources in all; a source past either limit is
// ignored until a place frees, and never displaces one that is sending.
class SacnMerger
{
public:
    static constexpr int SourcesPerUniverse = 8;
    static constexpr int MaxSources = 1024;
    // E1.31 6.7.1: a source is lost after this long without data.
    static constexpr qint64 NetworkDataLossMs = 2500;
    static constexpr int RecordCount = UniverseData::UniverseCount;
    static constexpr quint16 LastFirstUniverse = Sacn::MaxUniverse - (RecordCount - 1);

    // What became of a data packet.
    enum class Outcome : quint8 {
        Written,
        NotWinning,     // taken into the source's levels; another source wins
        NotMapped,      // its universe feeds no listed record
        Preview,
        Terminated,
        OtherStartCode, // per-slot priorities (0xDD) and all others
        OutOfSequence,
        SourceLimit,
    };
    static constexpr int Outcomes = int(Outcome::SourceLimit) + 1;

    enum class Change { Appeared, Terminated, TimedOut };
    struct SourceEvent
    {
        Change change;
        quint16 record;
        quint16 universe;
        Sacn::Cid cid;
        const char *sourceName; // Sacn::SourceNameLength bytes, not always zero-terminated
        quint32 sender;         // IPv4, host order
        quint8 priority;
    };
    using SourceListener = std::function<void(const SourceEvent &)>;

    SacnMerger();
    ~SacnMerger();
    SacnMerger(const SacnMerger &) = delete;
    SacnMerger &operator=(const SacnMerger &) = delete;

    // first: 1 to LastFirstUniverse; records: ascending, 0-255. Forgets
    // every source. None are mapped at construction.
    void setUniverses(quint16 first, const QVector<quint16> &records);
    quint16 firstUniverse() const;
    const QVector<quint16> &records() const;
    // The universe that feeds `record`.
    quint16 universeOf(int record) const;

    // Told of every source that appears or leaves, from within take() and expire().
    void setSourceListener(SourceListener listener);

    // `written` is set when the outcome is Written.
    Outcome take(const Sacn::DataPacket &packet, quint32 sender, qint64 nowMs, SacnLevels *written);
    // Sources silent for NetworkDataLossMs leave.
    void expire(qint64 nowMs);

    int sourceCount(int record) const;
    int sourceCount() const;

private:
    struct Source;
    struct Record
    {
        quint16 sources[SourcesPerUniverse]; // places in the pool
        int count = 0;
        bool mapped = false;
    };

    int recordOf(quint16 universe) const;
    void dropSilent(int record, qint64 nowMs);
    void leave(int record, int index, Change why);
    void report(Change change, int record, const Source &source) const;
    SacnLevels merge(int record, quint8 priority);

    quint16 first;
    QVector<quint16> mappedRecords;
    Record recordTables[RecordCount];
    std::unique_ptr<Source[]> pool;
    std::vector<quint16> freePlaces;
    SourceListener listener;
    quint8 merged[Sacn::MaxSlots];
};

#endif // SACNMERGER_H
