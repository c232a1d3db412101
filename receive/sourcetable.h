#ifndef SOURCETABLE_H
#define SOURCETABLE_H

#include "receiveframe.h"

#include <cstdint>
#include <memory>

// Who feeds each record: every source that sent it levels, since when, how
// many packets and when last, and what of it was held back and why. Art-Net
// sources are told apart by IP address, sACN sources by CID. A record lists
// at most SourcesPerRecord; a new one then takes the place of the one heard
// from longest ago. A source silent for ForgetAfterMs is forgotten. The
// tables are allocated once, at construction; time is passed in.
class SourceTable
{
public:
    static constexpr int SourcesPerRecord = 12;
    static constexpr std::int64_t ForgetAfterMs = 60000;
    static constexpr std::int64_t RateWindowMs = 1000;

    struct Source
    {
        Protocol protocol;
        std::uint32_t address;
        std::uint16_t port;
        std::uint16_t universe;
        std::uint8_t cid[16];
        char sourceName[64];
        std::uint8_t priority;
        std::int64_t sinceMs;
        std::int64_t lastMs;
        std::uint64_t packets;
        std::uint64_t heldPackets;
        HeldBack held; // what became of its last packet
        // Packets per second over the last whole window of RateWindowMs.
        std::uint32_t rate;
        std::int64_t windowStartMs;
        std::uint32_t windowPackets;
    };

    SourceTable();
    ~SourceTable();
    SourceTable(const SourceTable &) = delete;
    SourceTable &operator=(const SourceTable &) = delete;

    void note(int record, const FrameOrigin &origin, HeldBack held, std::int64_t nowMs);
    void forgetSilent(std::int64_t nowMs);

    int count(int record) const;
    const Source &source(int record, int index) const;
    // The source's rate, 0 once it has been silent for a whole window.
    static std::uint32_t packetsPerSecond(const Source &source, std::int64_t nowMs);

private:
    struct Record;

    std::unique_ptr<Record[]> records;
};

#endif // SOURCETABLE_H
