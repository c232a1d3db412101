#ifndef DMXSENDER_H
#define DMXSENDER_H

// The benchmark's DMX source: full 512-slot ArtDmx or sACN data packets to
// 127.0.0.1, paced to a packet rate and sent in batches of one system call.
// Universes are counted as the records they feed: Art-Net universe n, sACN
// universe Sacn::MinUniverse + n. Every universe is sent from one or more
// sources: sACN sources are CIDs at the same priority, Art-Net sources the
// addresses 127.0.0.1, 127.0.0.2, ... they send from.
//
// Each source's packets to a universe are a stream whose sequence number
// counts on as a console's does. Slots 1 to 4 of every packet carry the
// stream's stamp (high byte first), the packets it has sent, so that no two
// packets of a stream are alike; the other slots are a ramp of the source's
// own, rising or falling, so that a merge of two differs from either.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

class DmxSender
{
public:
    enum class Protocol { ArtNet, Sacn };
    static constexpr int MaxSources = 2;

    DmxSender(Protocol protocol, std::uint16_t port);
    ~DmxSender();
    DmxSender(const DmxSender &) = delete;
    DmxSender &operator=(const DmxSender &) = delete;

    bool isOpen() const { return std::all_of(fds, fds + MaxSources, [](int fd) { return fd >= 0; }); }
    Protocol protocol() const { return kind; }
    std::uint16_t port() const { return targetPort; }

    // The sources that send from now on, 1 to MaxSources; 1 at construction.
    void setSources(int count);
    int sources() const { return sourceCount; }

    // Sends to universes first..last in turn, each from every source, at
    // rate packets per second for the given time, or until stop is set;
    // returns the packets sent.
    std::uint64_t run(double rate, double seconds, int first, int last, const std::atomic<bool> *stop = nullptr);
    // One packet to the universe, from each source in turn.
    bool sendOne(int universe);

    // Goes on with other's streams of universes first..last, as one console
    // goes on sending from another socket.
    void carryOn(const DmxSender &other, int first, int last);

    // Whether channels hold what a receiver makes of the last packets sent to
    // the universe: all 512 slots, each the highest level the sources that
    // sent to it last sent.
    bool matches(int universe, const std::uint8_t *channels, int length) const;

private:
    int streamOf(int universe, int source) const { return universe * MaxSources + source; }
    std::uint8_t *image(int stream) { return &images[std::size_t(stream) * packetSize]; }
    const std::uint8_t *image(int stream) const { return &images[std::size_t(stream) * packetSize]; }
    void advance(int stream);
    void takeBack(int stream);
    void stamp(int stream);
    int socketOf(int stream) const { return fds[stream % MaxSources]; }

    Protocol kind;
    std::uint16_t targetPort;
    int fds[MaxSources] = {-1, -1}; // by source; sACN sends all from the first
    int sourceCount = 1;
    int nextSource = 0; // of sendOne()
    std::size_t packetSize;
    std::size_t sequenceOffset;
    std::size_t slotsOffset;
    std::vector<std::uint8_t> images; // every stream's next packet, packetSize bytes each
    std::vector<std::uint32_t> stamps;
};

#endif // DMXSENDER_H
