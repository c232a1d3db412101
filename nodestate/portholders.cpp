#include "portholders.h"

#include "nodestatelayout.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#ifdef _WIN32
#include <winsock2.h>
#include <iphlpapi.h>
#include <windows.h>
#else
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#endif

using PortHolders::Holder;

namespace {

bool wanted(const std::vector<std::uint16_t> &ports, std::uint16_t port)
{
    return std::find(ports.begin(), ports.end(), port) != ports.end();
}

// A process holding a port through several sockets (IPv4 and IPv6, or
// several bound with address reuse) is one holder of it.
void sortOut(std::vector<Holder> &holders)
{
    const auto key = [](const Holder &holder) { return std::make_tuple(holder.port, holder.processId); };
    std::sort(holders.begin(), holders.end(), [&](const Holder &a, const Holder &b) { return key(a) < key(b); });
    holders.erase(std::unique(holders.begin(), holders.end(),
                              [&](const Holder &a, const Holder &b) { return key(a) == key(b); }),
                  holders.end());
}

#ifdef _WIN32

// The program's file name, without its folder; empty when the process may
// not be asked (System, or an elevated program of another user).
std::string processName(DWORD processId)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return {};
    wchar_t path[4 * MAX_PATH];
    DWORD length = sizeof path / sizeof *path;
    const bool named = QueryFullProcessImageNameW(process, 0, path, &length) != 0;
    CloseHandle(process);
    if (!named)
        return {};
    const wchar_t *file = path;
    for (DWORD i = 0; i < length; ++i) {
        if (path[i] == L'\\')
            file = path + i + 1;
    }
    const int fileLength = static_cast<int>(path + length - file);
    const int size = WideCharToMultiByte(CP_UTF8, 0, file, fileLength, nullptr, 0, nullptr, nullptr);
    std::string name(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, file, fileLength, &name[0], size, nullptr, nullptr);
    return name;
}

// Table is the system's UDP table with owners of the address family.
template<typename Table>
void addRows(ULONG family, const std::vector<std::uint16_t> &ports, DWORD excludeProcessId,
             std::vector<Holder> &holders)
{
    std::vector<unsigned char> buffer;
    DWORD size = 0;
    DWORD result;
    // The table may grow between telling its size and being read.
    while ((result = GetExtendedUdpTable(buffer.data(), &size, FALSE, family, UDP_TABLE_OWNER_PID, 0))
           == ERROR_INSUFFICIENT_BUFFER)
        buffer.resize(size);
    if (result != NO_ERROR)
        return;
    const auto *table = reinterpret_cast<const Table *>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const auto &row = table->table[i];
        // In network order, in the low two bytes.
        const auto port = static_cast<std::uint16_t>((row.dwLocalPort & 0xff) << 8 | (row.dwLocalPort >> 8 & 0xff));
        // Wine says 0, an owner it cannot tell, for a socket that its owner has not used yet.
        if (wanted(ports, port) && (excludeProcessId == 0 || row.dwOwningPid != excludeProcessId))
            holders.push_back({row.dwOwningPid, port, {}});
    }
}

} // namespace

std::vector<Holder> PortHolders::find(const std::vector<std::uint16_t> &ports, std::uint32_t excludeProcessId)
{
    std::vector<Holder> holders;
    addRows<MIB_UDPTABLE_OWNER_PID>(AF_INET, ports, excludeProcessId, holders);
    addRows<MIB_UDP6TABLE_OWNER_PID>(AF_INET6, ports, excludeProcessId, holders);
    sortOut(holders);
    std::map<std::uint32_t, std::string> names;
    for (Holder &holder : holders) {
        if (holder.processId == 0)
            continue;
        auto known = names.find(holder.processId);
        if (known == names.end())
            known = names.emplace(holder.processId, processName(holder.processId)).first;
        holder.name = known->second;
    }
    return holders;
}

#else

using Inode = unsigned long;

// The sockets of one of /proc/net/udp and udp6 whose local port is wanted.
void readSockets(const char *table, const std::vector<std::uint16_t> &ports, std::map<Inode, std::uint16_t> &sockets)
{
    std::ifstream in(table);
    std::string line;
    std::getline(in, line); // the column titles
    while (std::getline(in, line)) {
        // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ...
        std::istringstream fields(line);
        std::string slot, local, skipped;
        fields >> slot >> local;
        for (int i = 0; i < 7; ++i)
            fields >> skipped;
        Inode inode = 0;
        fields >> inode;
        const std::size_t colon = local.rfind(':');
        if (!fields || colon == std::string::npos)
            continue;
        const auto port = static_cast<std::uint16_t>(std::strtoul(local.c_str() + colon + 1, nullptr, 16));
        if (wanted(ports, port))
            sockets.emplace(inode, port);
    }
}

// Calls `found` with the inode of every socket the process holds; with none
// when its descriptors may not be read (another user's process) or it has ended.
template<typename Found>
void forEachSocket(const std::string &processId, Found found)
{
    DIR *descriptors = opendir(("/proc/" + processId + "/fd").c_str());
    if (!descriptors)
        return;
    while (const dirent *entry = readdir(descriptors)) {
        char target[64];
        const ssize_t length = readlinkat(dirfd(descriptors), entry->d_name, target, sizeof target - 1);
        if (length <= 0)
            continue;
        target[length] = '\0';
        Inode inode = 0;
        if (std::sscanf(target, "socket:[%lu]", &inode) == 1)
            found(inode);
    }
    closedir(descriptors);
}

std::string processName(const std::string &processId)
{
    std::ifstream in("/proc/" + processId + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

} // namespace

std::vector<Holder> PortHolders::find(const std::vector<std::uint16_t> &ports, std::uint32_t excludeProcessId)
{
    std::map<Inode, std::uint16_t> sockets;
    readSockets("/proc/net/udp", ports, sockets);
    readSockets("/proc/net/udp6", ports, sockets);
    // The excluded process, usually the node itself, holds most sockets found:
    // without others left, no other process is read at all.
    if (excludeProcessId != 0)
        forEachSocket(std::to_string(excludeProcessId), [&](Inode inode) { sockets.erase(inode); });

    std::vector<Holder> holders;
    std::set<Inode> owned;
    DIR *processes = sockets.empty() ? nullptr : opendir("/proc");
    while (const dirent *entry = processes ? readdir(processes) : nullptr) {
        char *end = nullptr;
        const auto processId = static_cast<std::uint32_t>(std::strtoul(entry->d_name, &end, 10));
        if (*end != '\0' || processId == 0 || processId == excludeProcessId)
            continue;
        std::string name;
        forEachSocket(entry->d_name, [&](Inode inode) {
            const auto socket = sockets.find(inode);
            if (socket == sockets.end())
                return;
            if (name.empty())
                name = processName(entry->d_name);
            holders.push_back({processId, socket->second, name});
            owned.insert(inode);
        });
    }
    if (processes)
        closedir(processes);
    for (const auto &socket : sockets) {
        if (!owned.count(socket.first))
            holders.push_back({0, socket.second, {}});
    }
    sortOut(holders);
    return holders;
}

#endif

PortHoldersState PortHolders::sectionState(const std::vector<Holder> &holders, std::int64_t scannedMs)
{
    PortHoldersState state = {};
    state.scannedMs = scannedMs;
    for (const Holder &holder : holders) {
        if (state.count == NodeState::HolderCount)
            break;
        PortHolderEntry &entry = state.entries[state.count++];
        entry.processId = holder.processId;
        entry.port = holder.port;
        // Cut before the character that does not fit whole, keeping the terminator.
        std::size_t length = std::min(holder.name.size(), sizeof entry.name - 1);
        while (length > 0 && length < holder.name.size() && (holder.name[length] & 0xc0) == 0x80)
            --length;
        std::memcpy(entry.name, holder.name.data(), length);
    }
    return state;
}
