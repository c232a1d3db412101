#ifndef UNREACHEDLOG_H
#define UNREACHEDLOG_H

#include "receiveframe.h"

#include <cstdint>

// Recent data that reached no record, one entry for each reason, protocol,
// universe number and sender, with how often and when it came. When the
// log is full, a new entry takes the place of the one heard from longest ago;
// an entry silent for ForgetAfterMs goes. Time is passed in.
class UnreachedLog
{
public:
    static constexpr int Capacity = 32;
    static constexpr std::int64_t ForgetAfterMs = 60000;

    enum class Reason : std::uint8_t {
        PortAddressUnmapped, // Art-Net Port-Address outside the records
        SacnUniverseUnmapped,
        ThirdSource,  // Art-Net merge: two other sources are live
        HeldByArtNet, // sACN into a record that Art-Net feeds
        SourceLimit,  // over the sACN receiver's limits on sources
        Malformed,
    };

    struct Entry
    {
        Reason reason;
        Protocol protocol;
        int record; // the record it was held from; -1 for none
        std::uint32_t address;
        std::uint16_t port;
        std::uint16_t universe;
        std::uint64_t count;
        std::int64_t firstMs;
        std::int64_t lastMs;
    };

    // `record` is -1 for data that maps to no record.
    void note(Reason reason, const FrameOrigin &origin, int record, std::int64_t nowMs);
    void forgetSilent(std::int64_t nowMs);

    int count() const { return used; }
    const Entry &entry(int index) const { return entries[index]; }

private:
    Entry entries[Capacity];
    int used = 0;
};

#endif // UNREACHEDLOG_H
