#ifndef PORTHOLDERS_H
#define PORTHOLDERS_H

// The programs on this PC that hold a UDP port. A datagram sent to one of the
// PC's own addresses reaches only one of the sockets bound to its port, so a
// second program on the node's ports takes data away from the node. Asked of
// the system without Qt (Windows: its UDP tables; Linux: /proc), and cheap
// enough to ask every few seconds.

#include <cstdint>
#include <string>
#include <vector>

struct PortHoldersState;

namespace PortHolders {

struct Holder
{
    std::uint32_t processId; // 0 when the owner cannot be found, such as another user's program
    std::uint16_t port;
    std::string name;        // the program's file name, UTF-8; empty when it cannot be had
};

// Every program but `excludeProcessId` (0: none) that holds one of `ports`,
// IPv4 or IPv6, once for each port it holds; ordered by port, then process.
std::vector<Holder> find(const std::vector<std::uint16_t> &ports, std::uint32_t excludeProcessId);

// The state section's list: the first NodeState::HolderCount holders, names
// cut to whole characters and always terminated.
PortHoldersState sectionState(const std::vector<Holder> &holders, std::int64_t scannedMs);

} // namespace PortHolders

#endif // PORTHOLDERS_H
