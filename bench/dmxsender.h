#ifndef DMXSENDER_H
#define DMXSENDER_H

// The benchmark's Art-Net source: full 512-channel ArtDmx packets to
// 127.0.0.1, paced to a packet rate and sent in batches of one system call.
// Channels 1 to 4 of every packet carry a per-universe stamp (high byte
// first) that counts the packets sent to that universe, so a reader can tell
// which packet it sees.

#include "artnetpackets.h"

#include <atomic>
#include <cstdint>
#include <vector>

class DmxSender
{
public:
    explicit DmxSender(std::uint16_t port);
    ~DmxSender();
    DmxSender(const DmxSender &) = delete;
    DmxSender &operator=(const DmxSender &) = delete;

    bool isOpen() const { return fd >= 0; }

    // Sends to universes first..last in turn at rate packets per second for
    // the given time, or until stop is set; returns the packets sent.
    std::uint64_t run(double rate, double seconds, int first, int last, const std::atomic<bool> *stop = nullptr);
    bool sendOne(int universe);

    std::uint32_t lastStamp(int universe) const;
    static std::uint32_t stampOf(const std::uint8_t *channels);

private:
    void prepare(int universe);

    int fd = -1;
    std::vector<ArtDmx> packets;
    std::vector<std::uint32_t> stamps;
};

#endif // DMXSENDER_H
