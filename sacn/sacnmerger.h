#ifndef SACNMERGER_H
#define SACNMERGER_H

#include "sacnpackets.h"

#include <QVector>

#include <functional>
#include <memory>
#include <vector>

// What a level packet made of its universe, and where it came from. A view
// valid during the call that hands it out.
struct SacnLevels
{
    quint16 universe;
    // A winning packet's levels are the universe's merged levels; an
    // outranked one's are its source's own, to tell who sends what.
    bool winning;
    int length; // 0 to 512
    const quint8 *levels;
    const Sacn::Cid *cid;
    const char *sourceName; // Sacn::SourceNameLength bytes, not always zero-terminated
    quint32 sender;         // IPv4, host order
    quint16 port;           // the datagram's source port, set by the receiver
    quint8 priority;
};

// The sources of every listed sACN universe and the arbitration between
// them, on a clock the caller passes in (milliseconds, never decreasing).
//
// Per universe, the sources of the highest priority win; several of them
// merge slot by slot, the highest level taking the slot, and the longest
// length the universe. A level packet of a winning source makes one write; a
// source that terminates its stream or is silent for NetworkDataLossMs
// leaves without a write, and the remaining sources take over with their
// next packet. The tables are allocated once: at most SourcesPerUniverse
// sources on a universe and MaxSources in all; a source past either limit is
// ignored until a place frees, and never displaces one that is sending.
class SacnMerger
{
public:
    static constexpr int SourcesPerUniverse = 8;
    static constexpr int MaxSources = 1024;
    // E1.31 6.7.1: a source is lost after this long without data.
    static constexpr qint64 NetworkDataLossMs = 2500;
    static constexpr int MaxUniverses = 256;

    // What became of a data packet.
    enum class Outcome : quint8 {
        Written,
        NotWinning,     // taken into the source's levels; another source wins
        NotMapped,      // its universe is not listed
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

    // Universes 1-63999, the first MaxUniverses taken; forgets every source.
    // None are listed at construction.
    void setUniverses(const QVector<quint16> &universes);
    // Ascending, without repeats.
    const QVector<quint16> &universes() const;

    // Told of every source that appears or leaves, from within take() and expire().
    void setSourceListener(SourceListener listener);

    // `levels` is set when the outcome is Written or NotWinning.
    Outcome take(const Sacn::DataPacket &packet, quint32 sender, qint64 nowMs, SacnLevels *levels);
    // Sources silent for NetworkDataLossMs leave.
    void expire(qint64 nowMs);

    int sourceCount(quint16 universe) const;
    int sourceCount() const;

private:
    struct Source;
    struct Table
    {
        quint16 sources[SourcesPerUniverse]; // places in the pool
        int count = 0;
    };

    // The table of a listed universe; -1 for others.
    int tableOf(quint16 universe) const;
    void dropSilent(int table, qint64 nowMs);
    void leave(int table, int index, Change why);
    void report(Change change, int table, const Source &source) const;
    SacnLevels levelsOf(const Source &source, bool winning) const;
    void merge(int table, quint8 priority, SacnLevels *levels);

    QVector<quint16> listed;
    Table tables[MaxUniverses];
    std::unique_ptr<Source[]> pool;
    std::vector<quint16> freePlaces;
    SourceListener listener;
    quint8 merged[Sacn::MaxSlots];
};

#endif // SACNMERGER_H
