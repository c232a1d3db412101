#ifndef NODESTATELAYOUT_H
#define NODESTATELAYOUT_H

// Layout of the node's state section: what the program publishes about its
// receive path for monitors to read. The program creates and writes it; every
// other program maps it read-only. Each block carries a sequence counter that
// is odd while the program rewrites it, so that a reader can tell a consistent
// copy from a torn one without ever waiting on the writer (see seqblock.h).
// Little-endian; times are milliseconds on the program's monotonic clock, so
// only differences to `ProgramState::nowMs` mean anything to a reader.
// A change of any field's meaning or place raises Version.

#include "seqblock.h"

#include <cstddef>
#include <cstdint>

namespace NodeState {

constexpr char SectionName[] = "Dorvantis Node State";
constexpr std::uint32_t Magic = 0x54534456; // "VDST" in the first four bytes
constexpr std::uint32_t Version = 1;

constexpr int RecordCount = 256;
constexpr int SourcesPerRecord = 12;
constexpr int UnreachedCount = 32;
constexpr int HolderCount = 16;
constexpr int TextLength = 128;
constexpr int NameLength = 64;

enum class MergeMode : std::uint8_t { Latest = 0, Htp = 1, Ltp = 2 };
enum class SourceProtocol : std::uint8_t { ArtNet = 0, Sacn = 1 };

// What became of a source's last packet.
enum class Held : std::uint8_t {
    No = 0,
    Outranked = 1,   // sACN: a source of higher priority feeds the universe
    ArtNetFirst = 2, // sACN: Art-Net fed the record within its hold
    ThirdSource = 3, // Art-Net merge: two other sources are live
};

// Why data reached no record.
enum class Unreached : std::uint8_t {
    PortAddressUnmapped = 0, // an Art-Net Port-Address outside the mapped range
    SacnUniverseUnmapped = 1,
    ThirdSource = 2,
    HeldByArtNet = 3,
    SourceLimit = 4,         // over the sACN receiver's source limits
    Malformed = 5,
};
constexpr int UnreachedReasons = 6;

} // namespace NodeState

struct ProgramState
{
    std::int64_t nowMs;          // the program's clock at this publish
    std::uint32_t publishes;     // counts up with every publish, about 10 a second
    std::uint32_t processId;
    std::uint32_t instance;      // differs between two runs of the program
    std::uint8_t running;        // 0 once the program has ended
    std::uint8_t artNetBound;
    std::uint8_t sacnEnabled;
    std::uint8_t sacnBound;
    std::uint32_t address;       // IPv4, host order
    std::uint32_t broadcast;     // where ArtPollReply goes
    std::uint16_t artNetPort;
    std::uint16_t sacnPort;
    std::uint16_t artNetFirst;   // Port-Address of record 0
    std::uint16_t sacnFirst;     // sACN universe of record 0
    std::uint16_t sacnGroups;    // multicast groups joined
    std::uint8_t mergeMode;      // NodeState::MergeMode
    std::uint8_t reserved;
    std::uint64_t malformedArtNet;
    std::uint64_t malformedSacn;
    char version[16];
    char artNetError[NodeState::TextLength]; // UTF-8, why the port is not bound
    char sacnError[NodeState::TextLength];
};

struct SourceState
{
    std::uint8_t protocol; // NodeState::SourceProtocol
    std::uint8_t held;     // NodeState::Held
    std::uint8_t priority; // sACN
    std::uint8_t reserved;
    std::uint32_t address; // IPv4, host order
    std::uint16_t port;
    std::uint16_t universe; // Port-Address or sACN universe
    std::uint8_t cid[16];   // sACN
    char sourceName[NodeState::NameLength]; // sACN, UTF-8, not always terminated
    std::uint32_t packetsPerSecond;
    std::int64_t sinceMs;
    std::int64_t lastMs;
    std::uint64_t packets;
    std::uint64_t heldPackets;
};

struct RecordState
{
    std::uint64_t written;     // levels written into the record's area entry
    std::int64_t lastWrittenMs; // -1 for never
    std::uint16_t portAddress; // the Art-Net Port-Address that feeds it
    std::uint16_t sacnUniverse; // the sACN universe that feeds it, where listed
    std::uint8_t sacnListed;
    std::uint8_t merging;      // two Art-Net sources merged
    std::uint8_t sourceCount;
    std::uint8_t reserved;
    SourceState sources[NodeState::SourcesPerRecord];
};

// The leading bytes of a record's block that hold something: the slots past
// its sources are left over from earlier senders.
inline std::size_t usedBytes(const RecordState &state)
{
    const std::size_t sources = state.sourceCount < NodeState::SourcesPerRecord ? state.sourceCount
                                                                                 : NodeState::SourcesPerRecord;
    return offsetof(RecordState, sources) + sources * sizeof(SourceState);
}

struct UnreachedEntry
{
    std::uint8_t reason;   // NodeState::Unreached
    std::uint8_t protocol; // NodeState::SourceProtocol
    std::int16_t record;   // the record it was held from; -1 for none
    std::uint32_t address; // the sender, IPv4 host order; 0 when unknown
    std::uint16_t port;
    std::uint16_t universe;
    std::uint32_t reserved;
    std::uint64_t count;
    std::int64_t firstMs;
    std::int64_t lastMs;
};

struct UnreachedState
{
    std::uint32_t count;
    std::uint32_t reserved;
    UnreachedEntry entries[NodeState::UnreachedCount]; // most recent first
};

struct PortHolderEntry
{
    std::uint32_t processId;
    std::uint16_t port;
    std::uint16_t reserved;
    char name[NodeState::NameLength]; // the program's file name, UTF-8
};

struct PortHoldersState
{
    std::int64_t scannedMs;
    std::uint32_t count;
    std::uint32_t reserved;
    PortHolderEntry entries[NodeState::HolderCount];
};

struct NodeStateSection
{
    std::uint32_t magic;
    std::uint32_t version;
    std::uint32_t size; // sizeof(NodeStateSection)
    std::uint32_t reserved;
    SeqBlock<ProgramState> program;
    SeqBlock<RecordState> records[NodeState::RecordCount];
    SeqBlock<UnreachedState> unreached;
    SeqBlock<PortHoldersState> holders;
};

static_assert(sizeof(ProgramState) == 336, "ProgramState is 336 bytes");
static_assert(sizeof(SourceState) == 128 && offsetof(SourceState, sinceMs) == 96, "SourceState is 128 bytes");
static_assert(sizeof(RecordState) == 24 + 12 * 128, "RecordState is 1560 bytes");
static_assert(sizeof(UnreachedEntry) == 40, "UnreachedEntry is 40 bytes");
static_assert(sizeof(PortHolderEntry) == 72, "PortHolderEntry is 72 bytes");
static_assert(offsetof(NodeStateSection, program) == 16, "the program block follows the 16-byte header");
static_assert(offsetof(NodeStateSection, records) == 16 + 8 + 336, "records follow the program block");
static_assert(offsetof(ProgramState, malformedArtNet) == 48 && offsetof(UnreachedEntry, count) == 16,
              "64-bit fields on 8-byte boundaries, in 32-bit programs too");
static_assert(sizeof(NodeStateSection) == 16 + 344 + 256 * 1568 + 8 + 1288 + 8 + 16 + 16 * 72,
              "the section's size");

#endif // NODESTATELAYOUT_H
