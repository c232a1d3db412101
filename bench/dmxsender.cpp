#include "dmxsender.h"

#include "artnetpackets.h"
#include "sacnpackets.h"
#include "universedataarea.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <thread>

namespace {

constexpr int Batch = 32;
constexpr int StampBytes = 4;

struct Source
{
    Sacn::Cid cid;
    const char *name;
    quint8 step; // of the ramp in the slots after the stamp
};

constexpr Source Sources[DmxSender::MaxSources] = {
    {{{0x6b, 0x1f, 0x0c, 0x3e, 0x9a, 0x52, 0x4d, 0x87, 0xa1, 0xc4, 0x2e, 0x55, 0x90, 0xd3, 0x7e, 0x01}},
     "receivepathbench 1", 1},
    {{{0x6b, 0x1f, 0x0c, 0x3e, 0x9a, 0x52, 0x4d, 0x87, 0xa1, 0xc4, 0x2e, 0x55, 0x90, 0xd3, 0x7e, 0x02}},
     "receivepathbench 2", 255},
};

} // namespace

DmxSender::DmxSender(Protocol protocol, std::uint16_t port)
    : kind(protocol)
    , targetPort(port)
    , packetSize(protocol == Protocol::ArtNet ? sizeof(ArtDmx) : sizeof(SacnDataPacket))
    , sequenceOffset(protocol == Protocol::ArtNet ? offsetof(ArtDmx, sequence)
                                                  : offsetof(SacnDataPacket, framing.sequence))
    , slotsOffset(protocol == Protocol::ArtNet ? offsetof(ArtDmx, data) : offsetof(SacnDataPacket, dmp.values))
    , images(std::size_t(UniverseData::UniverseCount * MaxSources) * packetSize)
    , stamps(std::size_t(UniverseData::UniverseCount * MaxSources), 0)
{
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int s = 0; s < MaxSources; ++s) {
        if (kind == Protocol::Sacn && s > 0) {
            fds[s] = fds[0];
            continue;
        }
        // Art-Net tells sources apart by address: 127.0.0.1, 127.0.0.2, ...
        sockaddr_in local = {};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK + std::uint32_t(s));
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        // Connected, so that every send goes to loopback and nowhere else.
        if (fd >= 0
            && (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0
                || ::connect(fd, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0)) {
            ::close(fd);
            continue;
        }
        fds[s] = fd;
    }
    for (int u = 0; u < UniverseData::UniverseCount; ++u) {
        for (int s = 0; s < MaxSources; ++s) {
            const quint8 fill = quint8(u);
            std::uint8_t *packet = image(streamOf(u, s));
            if (kind == Protocol::ArtNet) {
                const ArtDmx dmx = ArtNet::artDmx(quint16(u), ArtNet::DmxChannels, fill, Sources[s].step);
                std::memcpy(packet, &dmx, packetSize);
            } else {
                const SacnDataPacket data =
                    Sacn::dataPacket(Sources[s].cid, QString::fromLatin1(Sources[s].name),
                                     quint16(Sacn::MinUniverse + u), Sacn::MaxSlots, fill, Sources[s].step);
                std::memcpy(packet, &data, packetSize);
            }
            stamp(streamOf(u, s));
        }
    }
    // Sleeps of a few tens of microseconds keep the pacing even.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
}

DmxSender::~DmxSender()
{
    for (int s = 0; s < MaxSources; ++s) {
        if (fds[s] >= 0 && (s == 0 || fds[s] != fds[0]))
            ::close(fds[s]);
    }
}

void DmxSender::setSources(int count)
{
    sourceCount = std::clamp(count, 1, MaxSources);
    nextSource = 0;
}

void DmxSender::stamp(int stream)
{
    std::uint8_t *packet = image(stream);
    const std::uint32_t value = stamps[stream];
    // ArtDmx sequence 0 would turn the receiver's reordering check off.
    packet[sequenceOffset] =
        kind == Protocol::ArtNet ? static_cast<std::uint8_t>(value % 255 + 1) : static_cast<std::uint8_t>(value);
    for (int i = 0; i < StampBytes; ++i)
        packet[slotsOffset + i] = static_cast<std::uint8_t>(value >> (8 * (StampBytes - 1 - i)));
}

void DmxSender::advance(int stream)
{
    ++stamps[stream];
    stamp(stream);
}

void DmxSender::takeBack(int stream)
{
    --stamps[stream];
    stamp(stream);
}

std::uint64_t DmxSender::run(double rate, double seconds, int first, int last, const std::atomic<bool> *stop)
{
    using Clock = std::chrono::steady_clock;
    // Every universe from every source, one after the other.
    const int turns = (last - first + 1) * sourceCount;
    const auto streamAt = [&](int turn) {
        turn %= turns;
        return streamOf(first + turn / sourceCount, turn % sourceCount);
    };
    // A batch never holds a stream twice: both would go out with its last stamp.
    const int batchLimit = std::min(Batch, turns);
    mmsghdr messages[Batch] = {};
    iovec parts[Batch] = {};
    const Clock::time_point start = Clock::now();
    std::uint64_t sent = 0;
    int next = 0;
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            break;
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (elapsed >= seconds)
            break;
        const std::uint64_t target = static_cast<std::uint64_t>(rate * elapsed) + 1;
        if (target <= sent) {
            const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(double(sent) / rate));
            std::this_thread::sleep_until(due);
            continue;
        }
        const int count = int(std::min<std::uint64_t>(target - sent, std::uint64_t(batchLimit)));
        for (int i = 0; i < count; ++i) {
            const int stream = streamAt(next + i);
            advance(stream);
            parts[i].iov_base = image(stream);
            parts[i].iov_len = packetSize;
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        // Each run of one source's packets in one call.
        int done = 0;
        for (int end = 0; done == end && end < count;) {
            const int fd = socketOf(streamAt(next + end));
            const int begin = end;
            while (end < count && socketOf(streamAt(next + end)) == fd)
                ++end;
            const int runDone = sendmmsg(fd, messages + begin, unsigned(end - begin), 0);
            if (runDone < 0) {
                done = begin > 0 ? begin : -1;
                break;
            }
            done = begin + runDone;
        }
        // Stamps were advanced for the whole batch; take back those not sent.
        for (int i = std::max(done, 0); i < count; ++i)
            takeBack(streamAt(next + i));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        next = (next + done) % turns;
        sent += std::uint64_t(done);
    }
    return sent;
}

bool DmxSender::sendOne(int universe)
{
    // Strictly in turn, whatever each has sent before: a source left out
    // for long would time out at the receiver and drop out of its merge.
    const int stream = streamOf(universe, nextSource);
    nextSource = (nextSource + 1) % sourceCount;
    advance(stream);
    if (send(socketOf(stream), image(stream), packetSize, 0) == ssize_t(packetSize))
        return true;
    takeBack(stream);
    return false;
}

void DmxSender::carryOn(const DmxSender &other, int first, int last)
{
    for (int stream = streamOf(first, 0); stream < streamOf(last + 1, 0); ++stream) {
        stamps[stream] = other.stamps[stream];
        stamp(stream);
    }
}

bool DmxSender::matches(int universe, const std::uint8_t *channels, int length) const
{
    if (!channels || length != UniverseData::ChannelCount)
        return false;
    std::uint8_t expected[UniverseData::ChannelCount] = {};
    bool sent = false;
    for (int s = 0; s < sourceCount; ++s) {
        const int stream = streamOf(universe, s);
        if (stamps[stream] == 0)
            continue;
        sent = true;
        const std::uint8_t *levels = image(stream) + slotsOffset;
        for (int slot = 0; slot < UniverseData::ChannelCount; ++slot)
            expected[slot] = std::max(expected[slot], levels[slot]);
    }
    return sent && std::memcmp(expected, channels, sizeof expected) == 0;
}
