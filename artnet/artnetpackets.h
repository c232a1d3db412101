#ifndef ARTNETPACKETS_H
#define ARTNETPACKETS_H

// Byte images of the three Art-Net packets the node speaks. Each record's
// memory image is exactly its UDP payload: it is sent as its raw bytes and a
// received datagram is read straight into one. Multi-byte fields carry their
// wire byte order in their type, so the records read the same on any host.

#include "wireinteger.h"
#include "wirelayout.h"

#include <QByteArray>
#include <QString>
#include <QtEndian>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ArtNet {

constexpr quint16 DefaultPort = 6454;
constexpr char Id[8] = {'A', 'r', 't', '-', 'N', 'e', 't', '\0'};
constexpr quint16 ProtocolVersion = 14;
constexpr quint16 Oem = 0x00FF;
constexpr int DmxChannels = 512;
constexpr int ShortNameLength = 18;
constexpr int LongNameLength = 64;
constexpr int NodeReportLength = 64;

// Port-Addresses are 15 bits: Net (bits 14-8), Sub-Net (7-4), Universe (3-0).
constexpr quint16 MaxPortAddress = 0x7FFF;
// Ports one ArtPollReply can describe; they share one Net and Sub-Net.
constexpr int PortsPerReply = 4;
// PortTypes: bit 7, the port outputs data from the network; protocol 0, DMX512.
constexpr quint8 PortTypeDmxOutput = 0x80;
// GoodOutput: bit 7, data is being output on the port; bit 3, the port
// merges two sources; bit 1, its merge mode is LTP (else HTP).
constexpr quint8 GoodOutputData = 0x80;
constexpr quint8 GoodOutputMerging = 0x08;
constexpr quint8 GoodOutputMergeLtp = 0x02;
// Status2: bit 3, the node handles 15-bit Port-Addresses.
constexpr quint8 Status2PortAddress15Bit = 0x08;
// BindIndex 1 is the root device, and 0, what replies before Art-Net 4 carry,
// reads as the root too: bound devices count from 2.
constexpr int FirstBindIndex = 2;
constexpr int LastBindIndex = 255;

enum OpCode : quint16 {
    OpPoll = 0x2000,
    OpPollReply = 0x2100,
    OpDmx = 0x5000,
};

// Bytes of an ArtDmx before its channel data.
constexpr int DmxHeaderSize = 18;

// ArtPoll Flags (TalkToMe) bit 5: Art-Net 4's targeted mode, in which only
// nodes with a Port-Address from TargetPortAddressBottom to
// TargetPortAddressTop answer. Both follow the 14 bytes of the record, high
// byte first: Top in bytes 14-15, Bottom in bytes 16-17.
constexpr quint8 PollTargetedMode = 0x20;
constexpr int PollTargetSize = 18;

// The opcode of a received datagram that is one of the three records, 0 for
// anything else. Only the id ("Art-Net" and a zero byte) and the opcode are
// tested; a datagram too short to hold both is no record.
inline quint16 recordOpCode(const char *datagram, qint64 size)
{
    if (size < qint64(sizeof Id) + 2 || std::memcmp(datagram, Id, sizeof Id) != 0)
        return 0;
    const quint16 opCode = qFromLittleEndian<quint16>(datagram + sizeof Id);
    switch (opCode) {
    case OpPoll:
    case OpPollReply:
    case OpDmx:
        return opCode;
    default:
        return 0;
    }
}

// Fills a fixed-width text field the way strncpy does: Latin-1 characters,
// zero bytes after a shorter text, and no terminating zero when the text
// fills the field. A character Latin-1 cannot hold becomes '?'.
template <std::size_t Width>
void setText(char (&field)[Width], const QString &text)
{
    const QByteArray latin1 = text.toLatin1();
    std::size_t i = 0;
    for (; i < Width && i < std::size_t(latin1.size()) && latin1.at(int(i)) != '\0'; ++i)
        field[i] = latin1.at(int(i));
    for (; i < Width; ++i)
        field[i] = '\0';
}

using Uint16Le = WireInteger<std::uint16_t, ByteOrder::LittleEndian>;
using Uint16Be = WireInteger<std::uint16_t, ByteOrder::BigEndian>;

} // namespace ArtNet

#pragma pack(push, 1)

struct ArtPoll
{
    char id[8];
    ArtNet::Uint16Le opCode;
    ArtNet::Uint16Be protocolVersion;
    quint8 talkToMe;
    quint8 priority;
};

struct ArtPollReply
{
    char id[8];
    ArtNet::Uint16Le opCode;
    quint8 ipAddress[4];
    ArtNet::Uint16Le port;
    ArtNet::Uint16Be versionInfo;
    ArtNet::Uint16Be subSwitch;
    ArtNet::Uint16Be oem;
    quint8 ubeaVersion;
    quint8 status;
    ArtNet::Uint16Le estaManufacturer;
    char shortName[ArtNet::ShortNameLength];
    char longName[ArtNet::LongNameLength];
    char nodeReport[ArtNet::NodeReportLength];
    ArtNet::Uint16Be numPorts;
    quint8 portTypes[4];
    quint8 goodInput[4];
    quint8 goodOutput[4];
    quint8 swIn[4];
    quint8 swOut[4];
    quint8 swVideo;
    quint8 swMacro;
    quint8 swRemote;
    quint8 spare[3];
    quint8 style;
    quint8 mac[6];
    quint8 bindIp[4];   // the root device's address in a bound reply
    quint8 bindIndex;   // which of the root's replies this is, see FirstBindIndex
    quint8 status2;
    quint8 filler[26];
};

struct ArtDmx
{
    char id[8];
    ArtNet::Uint16Le opCode;
    ArtNet::Uint16Be protocolVersion;
    quint8 sequence;
    quint8 physical;
    ArtNet::Uint16Le universe; // SubUni in the low byte, Net in the high byte
    ArtNet::Uint16Be length;   // valid bytes at the start of data
    quint8 data[ArtNet::DmxChannels];
};

#pragma pack(pop)

namespace ArtNet {

// An Art-Net 4 bound reply: the node's own reply `root` describing `count`
// (1 to 4) output ports, the Port-Addresses `ports`, which share one Net and
// Sub-Net, with `goodOutput` the GoodOutput byte of each.
inline ArtPollReply boundPollReply(const ArtPollReply &root, const quint16 *ports, const quint8 *goodOutput,
                                   int count, quint8 bindIndex)
{
    ArtPollReply reply = root;
    // Net in byte 18, Sub-Net in byte 19; each port adds its universe.
    reply.subSwitch = quint16((ports[0] & 0x7F00) | (ports[0] >> 4 & 0x0F));
    reply.numPorts = quint16(count);
    for (int i = 0; i < PortsPerReply; ++i) {
        const bool used = i < count;
        reply.portTypes[i] = used ? PortTypeDmxOutput : 0;
        reply.goodInput[i] = 0;
        reply.goodOutput[i] = used ? goodOutput[i] : 0;
        reply.swIn[i] = 0;
        reply.swOut[i] = used ? quint8(ports[i] & 0x0F) : 0;
    }
    std::memcpy(reply.bindIp, root.ipAddress, sizeof reply.bindIp);
    reply.bindIndex = bindIndex;
    reply.status2 = quint8(root.status2 | Status2PortAddress15Bit);
    return reply;
}

// The Port-Addresses a received ArtPoll datagram targets, Bottom to Top;
// false for a poll not in targeted mode or too short to name them.
inline bool pollTarget(const char *datagram, qint64 size, quint16 *bottom, quint16 *top)
{
    if (size < PollTargetSize || !(quint8(datagram[offsetof(ArtPoll, talkToMe)]) & PollTargetedMode))
        return false;
    *top = qFromBigEndian<quint16>(datagram + sizeof(ArtPoll));
    *bottom = qFromBigEndian<quint16>(datagram + sizeof(ArtPoll) + 2);
    return true;
}

// A record of zeros but for the Art-Net id and the opcode.
template <typename Record>
Record emptyRecord(quint16 opCode)
{
    Record record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(record.id, Id, sizeof record.id);
    record.opCode = opCode;
    return record;
}

// An ArtPoll of protocol version 14 with the given TalkToMe flags, priority 0.
inline ArtPoll artPoll(quint8 talkToMe)
{
    ArtPoll poll = emptyRecord<ArtPoll>(OpPoll);
    poll.protocolVersion = ProtocolVersion;
    poll.talkToMe = talkToMe;
    return poll;
}

// An ArtDmx of protocol version 14 for the Port-Address `universe` whose
// length field says `length`, sequence and physical 0. The 512 data bytes are
// fill, fill + step, fill + 2 * step, ... whatever the length says.
inline ArtDmx artDmx(quint16 universe, quint16 length, quint8 fill = 0, quint8 step = 0)
{
    ArtDmx packet = emptyRecord<ArtDmx>(OpDmx);
    packet.protocolVersion = ProtocolVersion;
    packet.universe = universe;
    packet.length = length;
    for (int i = 0; i < DmxChannels; ++i)
        packet.data[i] = quint8(fill + i * step);
    return packet;
}

} // namespace ArtNet

static_assert(sizeof(ArtNet::Uint16Le) == 2 && alignof(ArtNet::Uint16Le) == 1, "wire fields are two unaligned bytes");
static_assert(sizeof(ArtNet::Uint16Be) == 2 && alignof(ArtNet::Uint16Be) == 1, "wire fields are two unaligned bytes");

WIRE_RECORD_SIZE(ArtPoll, 14);
WIRE_FIELD_AT(ArtPoll, id, 0);
WIRE_FIELD_AT(ArtPoll, opCode, 8);
WIRE_FIELD_AT(ArtPoll, protocolVersion, 10);
WIRE_FIELD_AT(ArtPoll, talkToMe, 12);
WIRE_FIELD_AT(ArtPoll, priority, 13);

WIRE_RECORD_SIZE(ArtPollReply, 239);
WIRE_FIELD_AT(ArtPollReply, id, 0);
WIRE_FIELD_AT(ArtPollReply, opCode, 8);
WIRE_FIELD_AT(ArtPollReply, ipAddress, 10);
WIRE_FIELD_AT(ArtPollReply, port, 14);
WIRE_FIELD_AT(ArtPollReply, versionInfo, 16);
WIRE_FIELD_AT(ArtPollReply, subSwitch, 18);
WIRE_FIELD_AT(ArtPollReply, oem, 20);
WIRE_FIELD_AT(ArtPollReply, ubeaVersion, 22);
WIRE_FIELD_AT(ArtPollReply, status, 23);
WIRE_FIELD_AT(ArtPollReply, estaManufacturer, 24);
WIRE_FIELD_AT(ArtPollReply, shortName, 26);
WIRE_FIELD_AT(ArtPollReply, longName, 44);
WIRE_FIELD_AT(ArtPollReply, nodeReport, 108);
WIRE_FIELD_AT(ArtPollReply, numPorts, 172);
WIRE_FIELD_AT(ArtPollReply, portTypes, 174);
WIRE_FIELD_AT(ArtPollReply, goodInput, 178);
WIRE_FIELD_AT(ArtPollReply, goodOutput, 182);
WIRE_FIELD_AT(ArtPollReply, swIn, 186);
WIRE_FIELD_AT(ArtPollReply, swOut, 190);
WIRE_FIELD_AT(ArtPollReply, swVideo, 194);
WIRE_FIELD_AT(ArtPollReply, swMacro, 195);
WIRE_FIELD_AT(ArtPollReply, swRemote, 196);
WIRE_FIELD_AT(ArtPollReply, spare, 197);
WIRE_FIELD_AT(ArtPollReply, style, 200);
WIRE_FIELD_AT(ArtPollReply, mac, 201);
WIRE_FIELD_AT(ArtPollReply, bindIp, 207);
WIRE_FIELD_AT(ArtPollReply, bindIndex, 211);
WIRE_FIELD_AT(ArtPollReply, status2, 212);
WIRE_FIELD_AT(ArtPollReply, filler, 213);

WIRE_RECORD_SIZE(ArtDmx, 530);
WIRE_FIELD_AT(ArtDmx, id, 0);
WIRE_FIELD_AT(ArtDmx, opCode, 8);
WIRE_FIELD_AT(ArtDmx, protocolVersion, 10);
WIRE_FIELD_AT(ArtDmx, sequence, 12);
WIRE_FIELD_AT(ArtDmx, physical, 13);
WIRE_FIELD_AT(ArtDmx, universe, 14);
WIRE_FIELD_AT(ArtDmx, length, 16);
WIRE_FIELD_AT(ArtDmx, data, ArtNet::DmxHeaderSize);

#endif // ARTNETPACKETS_H
