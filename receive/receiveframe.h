#ifndef RECEIVEFRAME_H
#define RECEIVEFRAME_H

// What every protocol hands the receive layer: the levels for one record and
// where they came from. A frame is a view: its levels, CID and source name
// belong to the protocol and are valid only during the call that hands it on.

#include <cstdint>

enum class Protocol : std::uint8_t { ArtNet, Sacn };

// Why levels that arrived were not written.
enum class HeldBack : std::uint8_t {
    No,
    Outranked,   // sACN: a source of higher priority feeds the universe
    ArtNetFirst, // sACN into a record that Art-Net fed within the hold
    ThirdSource, // Art-Net merge: two other sources are live
};

struct FrameOrigin
{
    Protocol protocol;
    std::uint32_t address; // the sender's IPv4 address, host order
    std::uint16_t port;
    std::uint16_t universe;  // the protocol's own number: Port-Address or sACN universe
    const std::uint8_t *cid; // sACN: 16 bytes; null for Art-Net
    const char *sourceName;  // sACN: 64 bytes, not always zero-terminated; null for Art-Net
    std::uint8_t priority;   // sACN; 0 for Art-Net
};

struct ReceiveFrame
{
    int record;
    const std::uint8_t *levels;
    int length; // 0 to 512
    FrameOrigin origin;
    // Set by a protocol that holds the levels back itself.
    HeldBack held;
};

#endif // RECEIVEFRAME_H
