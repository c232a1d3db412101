#ifndef SENTINELREPLY_H
#define SENTINELREPLY_H

// An ArtPollReply that a test sends to an engine behind other datagrams: the
// engine handles datagrams in arrival order, so once it reports the sentinel
// it has handled everything sent before it. A serial in the filler tells the
// sentinels apart.

#include "artnetpackets.h"
#include "wirebytes.h"

#include <QByteArray>
#include <QtEndian>

#include <cstring>

namespace SentinelReply {

constexpr char Report[] = "test sentinel";

inline QByteArray make(quint32 serial)
{
    ArtPollReply reply;
    std::memset(&reply, 0, sizeof reply);
    std::memcpy(reply.id, ArtNet::Id, sizeof ArtNet::Id);
    reply.opCode = ArtNet::OpPollReply;
    std::memcpy(reply.nodeReport, Report, sizeof Report);
    qToLittleEndian(serial, reply.filler);
    return datagram(reply);
}

// True, with its serial, when the reply is a sentinel.
inline bool read(const ArtPollReply &reply, quint32 *serial)
{
    if (std::memcmp(reply.nodeReport, Report, sizeof Report) != 0)
        return false;
    *serial = qFromLittleEndian<quint32>(reply.filler);
    return true;
}

} // namespace SentinelReply

#endif // SENTINELREPLY_H
