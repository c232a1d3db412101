#include "multicastmembership.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using OptionValue = const char *;
constexpr MulticastMembership::Socket NoSocket = INVALID_SOCKET;

int lastSocketError()
{
    return WSAGetLastError();
}

// Wine reports Linux's ENOBUFS as WSAEINVAL. A real WSAEINVAL costs one
// holder socket, opened and closed again.
bool isFull(int error)
{
    return error == WSAENOBUFS || error == WSAEINVAL;
}

void closeSocket(MulticastMembership::Socket socket)
{
    closesocket(socket);
}
#else
using OptionValue = const void *;
constexpr MulticastMembership::Socket NoSocket = -1;

int lastSocketError()
{
    return errno;
}

bool isFull(int error)
{
    return error == ENOBUFS;
}

void closeSocket(MulticastMembership::Socket socket)
{
    close(socket);
}
#endif

ip_mreq request(std::uint32_t group, std::uint32_t interfaceAddress)
{
    ip_mreq mreq = {};
    mreq.imr_multiaddr.s_addr = htonl(group);
    mreq.imr_interface.s_addr = htonl(interfaceAddress);
    return mreq;
}

} // namespace

MulticastMembership::MulticastMembership(Socket receiving, std::uint32_t interfaceAddress)
    : receiving(receiving),
      interfaceAddress(interfaceAddress),
      holderGroups(0),
      lastError(0)
{
#ifdef _WIN32
    // Holders are sockets of this layer's own, whoever else started Winsock.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
}

MulticastMembership::~MulticastMembership()
{
    leaveAll();
#ifdef _WIN32
    WSACleanup();
#endif
}

bool MulticastMembership::receiveAllGroups(Socket socket)
{
#ifdef IP_MULTICAST_ALL
    const int on = 1;
    return setsockopt(socket, IPPROTO_IP, IP_MULTICAST_ALL, OptionValue(&on), sizeof on) == 0;
#else
    (void)socket;
    return true;
#endif
}

MulticastMembership::Result MulticastMembership::joinOn(Socket socket, std::uint32_t group)
{
    const ip_mreq mreq = request(group, interfaceAddress);
    if (setsockopt(socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, OptionValue(&mreq), sizeof mreq) == 0)
        return Result::Joined;
    lastError = lastSocketError();
    return isFull(lastError) ? Result::Full : Result::Failed;
}

bool MulticastMembership::join(std::uint32_t group)
{
    const bool onReceiving = holders.empty();
    Result result = joinOn(onReceiving ? receiving : holders.back(), group);
    if (result == Result::Full) {
        // A fresh holder refusing too means the system will not take the group.
        if (!openHolder())
            return false;
        result = joinOn(holders.back(), group);
        if (result != Result::Joined) {
            closeSocket(holders.back());
            holders.pop_back();
            return false;
        }
    }
    if (result != Result::Joined)
        return false;
    if (onReceiving && holders.empty())
        receivingGroups.push_back(group);
    else
        ++holderGroups;
    return true;
}

bool MulticastMembership::openHolder()
{
    const Socket holder = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (holder == NoSocket) {
        lastError = lastSocketError();
        return false;
    }
#ifdef _WIN32
    // Winsock joins groups on bound sockets only; an ephemeral port takes no sACN.
    sockaddr_in any = {};
    any.sin_family = AF_INET;
    if (bind(holder, reinterpret_cast<const sockaddr *>(&any), sizeof any) != 0) {
        lastError = lastSocketError();
        closeSocket(holder);
        return false;
    }
#endif
    holders.push_back(holder);
    return true;
}

void MulticastMembership::leaveAll()
{
    for (std::uint32_t group : receivingGroups) {
        const ip_mreq mreq = request(group, interfaceAddress);
        setsockopt(receiving, IPPROTO_IP, IP_DROP_MEMBERSHIP, OptionValue(&mreq), sizeof mreq);
    }
    receivingGroups.clear();
    // Closing a socket leaves its groups.
    for (Socket holder : holders)
        closeSocket(holder);
    holders.clear();
    holderGroups = 0;
}

int MulticastMembership::groupCount() const
{
    return int(receivingGroups.size()) + holderGroups;
}

int MulticastMembership::holderCount() const
{
    return int(holders.size());
}

int MulticastMembership::error() const
{
    return lastError;
}
