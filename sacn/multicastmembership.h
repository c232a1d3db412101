#ifndef MULTICASTMEMBERSHIP_H
#define MULTICASTMEMBERSHIP_H

// IPv4 multicast groups joined for one receiving UDP socket, as many as
// needed. A system may cap the groups one socket holds (Linux:
// net.ipv4.igmp_max_memberships, 20 by default, refused with ENOBUFS, which
// wine hands Windows programs as WSAEINVAL), so groups go on the receiving
// socket until it is refused for want of room, and from there on holder
// sockets of this object's own, one after another. Holders receive nothing:
// on Linux, and under wine, a socket bound to the wildcard address with
// receiveAllGroups() set takes the datagrams of every group joined on the
// interface by any socket of the system, so the receiving socket gets them
// all, each once. Windows itself caps groups by its resources only, so there
// the receiving socket holds them all. No system setting is changed.
//
// Qt-free: Winsock on Windows, BSD sockets elsewhere.

#include <cstdint>
#include <vector>

class MulticastMembership
{
public:
#ifdef _WIN32
    using Socket = std::uintptr_t; // SOCKET
#else
    using Socket = int;
#endif

    // Addresses are IPv4 in host order. interfaceAddress 0 lets the system
    // choose the interface. The receiving socket must outlive this object.
    MulticastMembership(Socket receiving, std::uint32_t interfaceAddress);
    // Leaves every group.
    ~MulticastMembership();
    MulticastMembership(const MulticastMembership &) = delete;
    MulticastMembership &operator=(const MulticastMembership &) = delete;

    // Linux: sets IP_MULTICAST_ALL, on by default, so that other settings in
    // the process cannot turn it off unseen. Elsewhere there is nothing to set.
    static bool receiveAllGroups(Socket socket);

    // False when the system refused the group for another reason than room,
    // or a new holder had no room either; error() then says why.
    bool join(std::uint32_t group);
    void leaveAll();

    int groupCount() const;
    // Sockets opened besides the receiving one.
    int holderCount() const;
    // errno, or the Winsock error, of the last refusal.
    int error() const;

private:
    enum class Result { Joined, Full, Failed };
    Result joinOn(Socket socket, std::uint32_t group);
    bool openHolder();

    Socket receiving;
    std::uint32_t interfaceAddress;
    std::vector<std::uint32_t> receivingGroups;
    std::vector<Socket> holders;
    int holderGroups;
    int lastError;
};

#endif // MULTICASTMEMBERSHIP_H
