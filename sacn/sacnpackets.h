#ifndef SACNPACKETS_H
#define SACNPACKETS_H

// Byte images of the E1.31 (sACN) packets: the data packet, and the
// synchronisation and universe discovery packets that a receiver recognises
// and leaves alone. Each record's memory image is its UDP payload, and every
// multi-byte field is big-endian in its type, so the records read the same on
// any host and need no alignment. parse() checks a received datagram and
// hands out a view of a data packet; the builders make packets for tests,
// benchmarks and tools.

#include "wireinteger.h"
#include "wirelayout.h"

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Sacn {

constexpr quint16 Port = 5568;

constexpr quint16 PreambleSize = 0x0010;
constexpr quint16 PostambleSize = 0x0000;
constexpr char PacketIdentifier[12] = {'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', '\0', '\0', '\0'};

constexpr quint32 VectorRootData = 0x00000004;
constexpr quint32 VectorRootExtended = 0x00000008;
constexpr quint32 VectorDataPacket = 0x00000002;
constexpr quint32 VectorExtendedSynchronization = 0x00000001;
constexpr quint32 VectorExtendedDiscovery = 0x00000002;
constexpr quint32 VectorDiscoveryUniverseList = 0x00000001;
constexpr quint8 VectorDmpSetProperty = 0x02;
constexpr quint8 AddressAndDataType = 0xA1;
constexpr quint16 FirstPropertyAddress = 0x0000;
constexpr quint16 AddressIncrement = 0x0001;

// Every PDU's flags-and-length field: the flags 0x7 in the top four bits, the
// PDU's length in bytes, up to the end of the packet, in the low twelve.
constexpr quint16 PduFlags = 0x7000;
constexpr quint16 PduLengthMask = 0x0FFF;

constexpr int CidLength = 16;
constexpr int SourceNameLength = 64;
constexpr int MaxSlots = 512;
constexpr int DiscoveryUniversesPerPage = 512;

constexpr quint16 MinUniverse = 1;
constexpr quint16 MaxUniverse = 63999;
// Universe discovery packets go to this universe's multicast group.
constexpr quint16 DiscoveryUniverse = 64214;

constexpr quint8 MaxPriority = 200;
constexpr quint8 DefaultPriority = 100;

// Framing options.
constexpr quint8 OptionPreviewData = 0x80;
constexpr quint8 OptionStreamTerminated = 0x40;
constexpr quint8 OptionForceSynchronization = 0x20;

constexpr quint8 StartCodeLevels = 0x00;
constexpr quint8 StartCodePriorities = 0xDD;

// A data packet's multicast group, 239.255.(universe / 256).(universe % 256),
// as a host-order IPv4 address.
constexpr quint32 multicastGroup(quint16 universe)
{
    return 0xEFFF0000u | universe;
}

using Uint16 = WireInteger<std::uint16_t, ByteOrder::BigEndian>;
using Uint32 = WireInteger<std::uint32_t, ByteOrder::BigEndian>;

// A source's component identifier, a UUID in network byte order.
struct Cid
{
    quint8 bytes[CidLength];

    bool operator==(const Cid &other) const { return std::memcmp(bytes, other.bytes, CidLength) == 0; }
    bool operator!=(const Cid &other) const { return !(*this == other); }
};

} // namespace Sacn

#pragma pack(push, 1)

struct SacnRootLayer
{
    Sacn::Uint16 preambleSize;
    Sacn::Uint16 postambleSize;
    char packetIdentifier[12];
    Sacn::Uint16 flagsAndLength;
    Sacn::Uint32 vector;
    Sacn::Cid cid;
};

struct SacnDataFramingLayer
{
    Sacn::Uint16 flagsAndLength;
    Sacn::Uint32 vector;
    char sourceName[Sacn::SourceNameLength]; // UTF-8, zero-terminated when shorter
    quint8 priority;
    Sacn::Uint16 synchronizationAddress;
    quint8 sequence;
    quint8 options;
    Sacn::Uint16 universe;
};

struct SacnDmpLayer
{
    Sacn::Uint16 flagsAndLength;
    quint8 vector;
    quint8 addressAndDataType;
    Sacn::Uint16 firstPropertyAddress;
    Sacn::Uint16 addressIncrement;
    Sacn::Uint16 propertyValueCount; // the start code and the slots
    quint8 startCode;
    quint8 values[Sacn::MaxSlots];
};

// Up to 638 bytes on the wire: as many slots as propertyValueCount says.
struct SacnDataPacket
{
    SacnRootLayer root;
    SacnDataFramingLayer framing;
    SacnDmpLayer dmp;
};

struct SacnSynchronizationPacket
{
    SacnRootLayer root;
    Sacn::Uint16 flagsAndLength;
    Sacn::Uint32 vector;
    quint8 sequence;
    Sacn::Uint16 synchronizationAddress;
    quint8 reserved[2];
};

// Up to 1144 bytes on the wire: as many universes as the lengths say.
struct SacnDiscoveryPacket
{
    SacnRootLayer root;
    Sacn::Uint16 framingFlagsAndLength;
    Sacn::Uint32 framingVector;
    char sourceName[Sacn::SourceNameLength];
    quint8 reserved[4];
    Sacn::Uint16 listFlagsAndLength;
    Sacn::Uint32 listVector;
    quint8 page;
    quint8 lastPage;
    Sacn::Uint16 universes[Sacn::DiscoveryUniversesPerPage]; // ascending
};

#pragma pack(pop)

namespace Sacn {

constexpr int RootPduOffset = int(offsetof(SacnRootLayer, flagsAndLength));
constexpr int FramingOffset = int(sizeof(SacnRootLayer));
constexpr int DmpOffset = int(offsetof(SacnDataPacket, dmp));
constexpr int DataHeaderSize = int(offsetof(SacnDataPacket, dmp.startCode));
constexpr int DiscoveryListOffset = int(offsetof(SacnDiscoveryPacket, listFlagsAndLength));

// What parse() makes of a datagram: one of the three packets, or why it is
// none. The reasons follow the order in which the fields are checked.
enum class Parsed : quint8 {
    Data,
    Synchronization,
    Discovery,
    WrongSize,
    WrongPreamble,
    WrongPostamble,
    WrongIdentifier,
    WrongRootLength,
    UnknownRootVector,
    WrongFramingLength,
    UnknownFramingVector,
    WrongDmpLength,
    WrongDmpVector,
    WrongAddressType,
    WrongFirstAddress,
    WrongAddressIncrement,
    WrongValueCount,
    UniverseOutOfRange,
    PriorityOutOfRange,
};
constexpr int ParsedKinds = int(Parsed::PriorityOutOfRange) + 1;

constexpr bool isMalformed(Parsed parsed)
{
    return parsed > Parsed::Discovery;
}

// A checked data packet, pointing into the datagram it was read from.
struct DataPacket
{
    const Cid *cid;
    const char *sourceName; // SourceNameLength bytes, not always zero-terminated
    quint8 priority;
    quint8 sequence;
    quint8 options;
    quint16 universe;
    quint8 startCode;
    int slotCount; // 0 to 512
    const quint8 *values;
};

// Checks every field E1.31 fixes; `packet` is filled for Parsed::Data only.
Parsed parse(const quint8 *datagram, qint64 size, DataPacket *packet);

// A data packet's wire size as its root layer's length says.
template <typename Record>
int wireSize(const Record &record)
{
    return RootPduOffset + (record.root.flagsAndLength & PduLengthMask);
}

// A data packet from `cid` to `universe` with `slotCount` slots of levels
// fill, fill + step, fill + 2 * step, ...; priority 100, sequence 0, no
// options, start code 0.
SacnDataPacket dataPacket(const Cid &cid, const QString &sourceName, quint16 universe, int slotCount,
                          quint8 fill = 0, quint8 step = 0);
// The packet with `slotCount` slots (0-512) and its lengths to match; slots
// it adds keep what the record held.
void setSlotCount(SacnDataPacket &packet, int slotCount);
// What a source sends when it stops: its last packet with Stream_Terminated.
SacnDataPacket terminatedPacket(const SacnDataPacket &last);
SacnSynchronizationPacket synchronizationPacket(const Cid &cid, quint16 synchronizationAddress, quint8 sequence);
// One page of a source's universe list; at most 512 universes are taken.
SacnDiscoveryPacket discoveryPacket(const Cid &cid, const QString &sourceName, quint8 page, quint8 lastPage,
                                    const quint16 *universes, int count);

} // namespace Sacn

static_assert(sizeof(Sacn::Uint16) == 2 && alignof(Sacn::Uint16) == 1, "wire fields are unaligned bytes");
static_assert(sizeof(Sacn::Uint32) == 4 && alignof(Sacn::Uint32) == 1, "wire fields are unaligned bytes");
static_assert(sizeof(Sacn::Cid) == 16 && alignof(Sacn::Cid) == 1, "a CID is 16 bytes");

WIRE_RECORD_SIZE(SacnRootLayer, 38);
WIRE_FIELD_AT(SacnRootLayer, postambleSize, 2);
WIRE_FIELD_AT(SacnRootLayer, packetIdentifier, 4);
WIRE_FIELD_AT(SacnRootLayer, flagsAndLength, 16);
WIRE_FIELD_AT(SacnRootLayer, vector, 18);
WIRE_FIELD_AT(SacnRootLayer, cid, 22);

WIRE_RECORD_SIZE(SacnDataPacket, 638);
WIRE_FIELD_AT(SacnDataPacket, framing.vector, 40);
WIRE_FIELD_AT(SacnDataPacket, framing.sourceName, 44);
WIRE_FIELD_AT(SacnDataPacket, framing.priority, 108);
WIRE_FIELD_AT(SacnDataPacket, framing.synchronizationAddress, 109);
WIRE_FIELD_AT(SacnDataPacket, framing.sequence, 111);
WIRE_FIELD_AT(SacnDataPacket, framing.options, 112);
WIRE_FIELD_AT(SacnDataPacket, framing.universe, 113);
WIRE_FIELD_AT(SacnDataPacket, dmp, 115);
WIRE_FIELD_AT(SacnDataPacket, dmp.vector, 117);
WIRE_FIELD_AT(SacnDataPacket, dmp.addressAndDataType, 118);
WIRE_FIELD_AT(SacnDataPacket, dmp.firstPropertyAddress, 119);
WIRE_FIELD_AT(SacnDataPacket, dmp.addressIncrement, 121);
WIRE_FIELD_AT(SacnDataPacket, dmp.propertyValueCount, 123);
WIRE_FIELD_AT(SacnDataPacket, dmp.startCode, 125);
WIRE_FIELD_AT(SacnDataPacket, dmp.values, 126);

WIRE_RECORD_SIZE(SacnSynchronizationPacket, 49);
WIRE_FIELD_AT(SacnSynchronizationPacket, sequence, 44);
WIRE_FIELD_AT(SacnSynchronizationPacket, synchronizationAddress, 45);

WIRE_RECORD_SIZE(SacnDiscoveryPacket, 1144);
WIRE_FIELD_AT(SacnDiscoveryPacket, sourceName, 44);
WIRE_FIELD_AT(SacnDiscoveryPacket, listFlagsAndLength, 112);
WIRE_FIELD_AT(SacnDiscoveryPacket, page, 118);
WIRE_FIELD_AT(SacnDiscoveryPacket, universes, 120);

#endif // SACNPACKETS_H
