#include "localaddresses.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>
#endif

namespace {
constexpr int HostNameSize = 128;
}

#ifdef _WIN32

LocalAddresses discoverLocalAddresses()
{
    LocalAddresses result;

    WSADATA wsaData;
    if (WSAStartup(MAKEWORD(1, 1), &wsaData) != 0) {
        result.status = LocalAddresses::StartupFailed;
        return result;
    }

    char name[HostNameSize] = {};
    if (gethostname(name, HostNameSize) == SOCKET_ERROR) {
        result.status = LocalAddresses::NameFailed;
        WSACleanup();
        return result;
    }
    name[HostNameSize - 1] = '\0';
    result.hostName = name;

    const hostent *entry = gethostbyname(name);
    if (!entry) {
        result.status = LocalAddresses::LookupFailed;
        WSACleanup();
        return result;
    }

    // The entry belongs to Winsock: every address is copied out as text
    // before the next one is read and before the library is released.
    static_assert(sizeof(in_addr) == 4, "an IPv4 address is 4 bytes");
    for (int i = 0; entry->h_addr_list[i]; ++i) {
        in_addr address;
        std::memcpy(&address, entry->h_addr_list[i], sizeof address);
        if (const char *text = inet_ntoa(address))
            result.addresses.emplace_back(text);
    }

    WSACleanup();
    return result;
}

#else

LocalAddresses discoverLocalAddresses()
{
    LocalAddresses result;

    char name[HostNameSize] = {};
    if (gethostname(name, HostNameSize) == -1) {
        result.status = LocalAddresses::NameFailed;
        return result;
    }
    // A name that filled the buffer may come back without its terminator.
    name[HostNameSize - 1] = '\0';
    result.hostName = name;

    ifaddrs *interfaces = nullptr;
    if (getifaddrs(&interfaces) == -1) {
        result.status = LocalAddresses::LookupFailed;
        return result;
    }

    for (const ifaddrs *i = interfaces; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP))
            continue;
        sockaddr_in inet;
        std::memcpy(&inet, i->ifa_addr, sizeof inet);
        char text[INET_ADDRSTRLEN];
        if (inet_ntop(AF_INET, &inet.sin_addr, text, sizeof text))
            result.addresses.emplace_back(text);
    }

    freeifaddrs(interfaces);
    return result;
}

#endif
