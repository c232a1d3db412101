// The node state tests' second process, ended by the test or after a minute. Without arguments
// it rewrites the state section's records flat out, each with its count in `written` and its
// round in every other byte; `nodestatepeer <port> <ipv6port>` holds 127.0.0.1:<port> and [::1]:<ipv6port>.
#ifdef _WIN32
#include <winsock2.h> // before the windows.h of shortpause.h
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif
#include "nodestatewriter.h"
#include "shortpause.h"
#include <chrono>
#include <cstring>

static bool hold(const char *address, const char *port)
{
    addrinfo *found = nullptr;
    if (getaddrinfo(address, port, nullptr, &found) != 0)
        return false;
    const auto held = socket(found->ai_family, SOCK_DGRAM, 0);
    const bool bound = bind(held, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    freeaddrinfo(found);
#ifdef _WIN32
    u_long pending; // wine tells a socket's owner only once the owner has used it
    ioctlsocket(held, FIONREAD, &pending);
#endif
    return bound;
}

int main(int argc, char **argv)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    if (argc == 3) {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        if (!hold("127.0.0.1", argv[1]) || !hold("::1", argv[2]))
            return 1;
        while (std::chrono::steady_clock::now() < end)
            pause10ms();
        return 0;
    }
    NodeStateWriter writer;
    RecordState state;
    for (std::uint64_t count = 1; count % 4096 || std::chrono::steady_clock::now() < end; ++count) {
        std::memset(&state, static_cast<int>(count / NodeState::RecordCount), sizeof state);
        state.written = count;
        writer.publishRecord(static_cast<int>(count % NodeState::RecordCount), state);
    }
    return 1;
}
