#include "sacnpackets.h"

#include <QByteArray>

namespace Sacn {

namespace {

constexpr int SynchronizationSize = int(sizeof(SacnSynchronizationPacket));
constexpr int DiscoveryHeaderSize = int(offsetof(SacnDiscoveryPacket, universes));

// A PDU whose length field runs from `offset` to the end of the datagram.
bool pduFits(const Uint16 &flagsAndLength, int offset, qint64 size)
{
    return (flagsAndLength & ~PduLengthMask) == PduFlags && (flagsAndLength & PduLengthMask) == size - offset;
}

quint16 pduFlagsAndLength(int offset, int size)
{
    return quint16(PduFlags | (size - offset));
}

SacnRootLayer rootLayer(const Cid &cid, quint32 vector, int size)
{
    SacnRootLayer root;
    root.preambleSize = PreambleSize;
    root.postambleSize = PostambleSize;
    std::memcpy(root.packetIdentifier, PacketIdentifier, sizeof root.packetIdentifier);
    root.flagsAndLength = pduFlagsAndLength(RootPduOffset, size);
    root.vector = vector;
    root.cid = cid;
    return root;
}

// A packet of zeros but for its root layer.
template <typename Packet>
Packet emptyPacket(const Cid &cid, quint32 rootVector, int size)
{
    Packet packet;
    std::memset(&packet, 0, sizeof packet);
    packet.root = rootLayer(cid, rootVector, size);
    return packet;
}

// UTF-8, cut at a character boundary so that a zero byte always follows.
void setSourceName(char (&field)[SourceNameLength], const QString &name)
{
    QByteArray utf8 = name.toUtf8();
    int length = qMin(utf8.size(), SourceNameLength - 1);
    while (length > 0 && length < utf8.size() && (quint8(utf8.at(length)) & 0xC0) == 0x80)
        --length;
    std::memset(field, 0, sizeof field);
    std::memcpy(field, utf8.constData(), std::size_t(length));
}

Parsed parseExtended(const quint8 *datagram, qint64 size)
{
    const auto &sync = *reinterpret_cast<const SacnSynchronizationPacket *>(datagram);
    if (!pduFits(sync.flagsAndLength, FramingOffset, size))
        return Parsed::WrongFramingLength;
    if (sync.vector == VectorExtendedSynchronization)
        return size == SynchronizationSize ? Parsed::Synchronization : Parsed::WrongFramingLength;
    if (sync.vector != VectorExtendedDiscovery)
        return Parsed::UnknownFramingVector;
    if (size < DiscoveryHeaderSize)
        return Parsed::WrongSize;
    const auto &discovery = *reinterpret_cast<const SacnDiscoveryPacket *>(datagram);
    const qint64 listed = (size - DiscoveryHeaderSize) / 2;
    if (!pduFits(discovery.listFlagsAndLength, DiscoveryListOffset, size) || size % 2 != 0
        || listed > DiscoveryUniversesPerPage)
        return Parsed::WrongFramingLength;
    return discovery.listVector == VectorDiscoveryUniverseList ? Parsed::Discovery : Parsed::UnknownFramingVector;
}

} // namespace

Parsed parse(const quint8 *datagram, qint64 size, DataPacket *packet)
{
    // The synchronisation packet is the shortest of the three, the discovery packet the longest.
    if (size < SynchronizationSize || size > qint64(sizeof(SacnDiscoveryPacket)))
        return Parsed::WrongSize;
    const auto &root = *reinterpret_cast<const SacnRootLayer *>(datagram);
    if (root.preambleSize != PreambleSize)
        return Parsed::WrongPreamble;
    if (root.postambleSize != PostambleSize)
        return Parsed::WrongPostamble;
    if (std::memcmp(root.packetIdentifier, PacketIdentifier, sizeof PacketIdentifier) != 0)
        return Parsed::WrongIdentifier;
    if (!pduFits(root.flagsAndLength, RootPduOffset, size))
        return Parsed::WrongRootLength;
    if (root.vector == VectorRootExtended)
        return parseExtended(datagram, size);
    if (root.vector != VectorRootData)
        return Parsed::UnknownRootVector;

    if (size < DataHeaderSize + 1)
        return Parsed::WrongSize;
    if (size > qint64(sizeof(SacnDataPacket)))
        return Parsed::WrongSize;
    const auto &data = *reinterpret_cast<const SacnDataPacket *>(datagram);
    if (!pduFits(data.framing.flagsAndLength, FramingOffset, size))
        return Parsed::WrongFramingLength;
    if (data.framing.vector != VectorDataPacket)
        return Parsed::UnknownFramingVector;
    if (!pduFits(data.dmp.flagsAndLength, DmpOffset, size))
        return Parsed::WrongDmpLength;
    if (data.dmp.vector != VectorDmpSetProperty)
        return Parsed::WrongDmpVector;
    if (data.dmp.addressAndDataType != AddressAndDataType)
        return Parsed::WrongAddressType;
    if (data.dmp.firstPropertyAddress != FirstPropertyAddress)
        return Parsed::WrongFirstAddress;
    if (data.dmp.addressIncrement != AddressIncrement)
        return Parsed::WrongAddressIncrement;
    // The count covers the start code and the slots, exactly the rest of the datagram.
    const int values = data.dmp.propertyValueCount;
    if (values < 1 || values > MaxSlots + 1 || DataHeaderSize + values != size)
        return Parsed::WrongValueCount;
    const quint16 universe = data.framing.universe;
    if (universe < MinUniverse || universe > MaxUniverse)
        return Parsed::UniverseOutOfRange;
    if (data.framing.priority > MaxPriority)
        return Parsed::PriorityOutOfRange;

    packet->cid = &data.root.cid;
    packet->sourceName = data.framing.sourceName;
    packet->priority = data.framing.priority;
    packet->sequence = data.framing.sequence;
    packet->options = data.framing.options;
    packet->universe = universe;
    packet->startCode = data.dmp.startCode;
    packet->slotCount = values - 1;
    packet->values = data.dmp.values;
    return Parsed::Data;
}

SacnDataPacket dataPacket(const Cid &cid, const QString &sourceName, quint16 universe, int slotCount, quint8 fill,
                          quint8 step)
{
    SacnDataPacket packet = emptyPacket<SacnDataPacket>(cid, VectorRootData, int(sizeof(SacnDataPacket)));
    packet.framing.vector = VectorDataPacket;
    setSourceName(packet.framing.sourceName, sourceName);
    packet.framing.priority = DefaultPriority;
    packet.framing.universe = universe;
    packet.dmp.vector = VectorDmpSetProperty;
    packet.dmp.addressAndDataType = AddressAndDataType;
    packet.dmp.firstPropertyAddress = FirstPropertyAddress;
    packet.dmp.addressIncrement = AddressIncrement;
    packet.dmp.startCode = StartCodeLevels;
    for (int i = 0; i < MaxSlots; ++i)
        packet.dmp.values[i] = quint8(fill + i * step);
    setSlotCount(packet, slotCount);
    return packet;
}

void setSlotCount(SacnDataPacket &packet, int slotCount)
{
    const int size = DataHeaderSize + 1 + qBound(0, slotCount, MaxSlots);
    packet.root.flagsAndLength = pduFlagsAndLength(RootPduOffset, size);
    packet.framing.flagsAndLength = pduFlagsAndLength(FramingOffset, size);
    packet.dmp.flagsAndLength = pduFlagsAndLength(DmpOffset, size);
    packet.dmp.propertyValueCount = quint16(size - DataHeaderSize);
}

SacnDataPacket terminatedPacket(const SacnDataPacket &last)
{
    SacnDataPacket packet = last;
    packet.framing.options = quint8(packet.framing.options | OptionStreamTerminated);
    return packet;
}

SacnSynchronizationPacket synchronizationPacket(const Cid &cid, quint16 synchronizationAddress, quint8 sequence)
{
    SacnSynchronizationPacket packet = emptyPacket<SacnSynchronizationPacket>(cid, VectorRootExtended,
                                                                              SynchronizationSize);
    packet.flagsAndLength = pduFlagsAndLength(FramingOffset, SynchronizationSize);
    packet.vector = VectorExtendedSynchronization;
    packet.sequence = sequence;
    packet.synchronizationAddress = synchronizationAddress;
    return packet;
}

SacnDiscoveryPacket discoveryPacket(const Cid &cid, const QString &sourceName, quint8 page, quint8 lastPage,
                                    const quint16 *universes, int count)
{
    count = qBound(0, count, DiscoveryUniversesPerPage);
    const int size = DiscoveryHeaderSize + 2 * count;
    SacnDiscoveryPacket packet = emptyPacket<SacnDiscoveryPacket>(cid, VectorRootExtended, size);
    packet.framingFlagsAndLength = pduFlagsAndLength(FramingOffset, size);
    packet.framingVector = VectorExtendedDiscovery;
    setSourceName(packet.sourceName, sourceName);
    packet.listFlagsAndLength = pduFlagsAndLength(DiscoveryListOffset, size);
    packet.listVector = VectorDiscoveryUniverseList;
    packet.page = page;
    packet.lastPage = lastPage;
    for (int i = 0; i < count; ++i)
        packet.universes[i] = universes[i];
    return packet;
}

} // namespace Sacn
