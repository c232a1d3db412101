#include "dmxsender.h"

#include "universedataarea.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

constexpr int Batch = 32;

} // namespace

DmxSender::DmxSender(std::uint16_t port)
    : packets(UniverseData::UniverseCount)
    , stamps(UniverseData::UniverseCount, 0)
{
    fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Connected, so that every send goes to loopback and nowhere else.
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0) {
        ::close(fd);
        fd = -1;
    }
    for (int u = 0; u < UniverseData::UniverseCount; ++u) {
        // The first four data bytes carry the send stamp.
        packets[u] = ArtNet::artDmx(quint16(u), ArtNet::DmxChannels, quint8(u), 1);
        std::memset(packets[u].data, 0, 4);
    }
    // Sleeps of a few tens of microseconds keep the pacing even.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
}

DmxSender::~DmxSender()
{
    if (fd >= 0)
        ::close(fd);
}

void DmxSender::prepare(int universe)
{
    ArtDmx &p = packets[universe];
    const std::uint32_t stamp = ++stamps[universe];
    p.sequence = static_cast<quint8>(stamp % 255 + 1);
    p.data[0] = static_cast<quint8>(stamp >> 24);
    p.data[1] = static_cast<quint8>(stamp >> 16);
    p.data[2] = static_cast<quint8>(stamp >> 8);
    p.data[3] = static_cast<quint8>(stamp);
}

std::uint64_t DmxSender::run(double rate, double seconds, int first, int last, const std::atomic<bool> *stop)
{
    using Clock = std::chrono::steady_clock;
    const int span = last - first + 1;
    const int batchLimit = std::min(Batch, span);
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
            const int universe = first + (next + i) % span;
            prepare(universe);
            parts[i].iov_base = &packets[universe];
            parts[i].iov_len = sizeof(ArtDmx);
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int done = sendmmsg(fd, messages, unsigned(count), 0);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        // Stamps were advanced for the whole batch; take back those not sent.
        for (int i = done; i < count; ++i)
            --stamps[first + (next + i) % span];
        next = (next + done) % span;
        sent += std::uint64_t(done);
    }
    return sent;
}

bool DmxSender::sendOne(int universe)
{
    prepare(universe);
    if (send(fd, &packets[universe], sizeof(ArtDmx), 0) == ssize_t(sizeof(ArtDmx)))
        return true;
    --stamps[universe];
    return false;
}

std::uint32_t DmxSender::lastStamp(int universe) const
{
    return stamps[universe];
}

std::uint32_t DmxSender::stampOf(const std::uint8_t *channels)
{
    return std::uint32_t(channels[0]) << 24 | std::uint32_t(channels[1]) << 16 | std::uint32_t(channels[2]) << 8
        | channels[3];
}
