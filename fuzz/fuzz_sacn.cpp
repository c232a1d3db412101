// A hostile sACN stream into the parser and the merger, on a clock of the
// input's own. An input is a mapping and a list of commands:
//
//   bytes 0-1  first universe, big-endian (taken modulo 63744, plus 1)
//   byte 2     which of the 256 universes from there are listed: first + n
//              for n divisible by (byte % 4) + 1
//   then commands, each a byte whose value modulo 4 says what follows:
//     0  a datagram: its length (2 bytes, big-endian) and its bytes
//     1  the clock moves on by (1 byte) x 16 ms
//     2  a flood: (1 byte + 1) x 16 valid packets from as many new CIDs to
//        universe (2 bytes), priority (1 byte) % 201, every slot 255
//     3  silent sources leave
//
// After every data packet: a write goes to the packet's own universe only,
// holds at least the packet's levels when its source wins, and no universe
// holds more sources than the limits allow. After the input: once every
// source has been silent long enough, all have left and a new source's
// levels are written as sent, wherever the input left things.

#include "sacnmerger.h"
#include "sacnpackets.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int LastFirstUniverse = Sacn::MaxUniverse - (SacnMerger::MaxUniverses - 1);

SacnMerger *merger = nullptr;
quint16 first = 1;
unsigned listedEvery = 1; // universes listed: first + n for n divisible by this
qint64 now = 0;
quint32 floodSerial = 0;

[[noreturn]] void fail(const char *what, int universe)
{
    std::fprintf(stderr, "merger check failed: %s (universe %d)\n", what, universe);
    std::abort();
}

struct Input
{
    const std::uint8_t *data;
    std::size_t size;
    std::size_t at = 0;

    bool has(std::size_t count) const { return size - at >= count; }
    unsigned byte() { return has(1) ? data[at++] : 0; }
    unsigned word() { return byte() << 8 | byte(); }
};

bool listed(quint16 universe)
{
    const int n = int(universe) - int(first);
    return n >= 0 && n < SacnMerger::MaxUniverses && n % int(listedEvery) == 0;
}

void offer(const quint8 *datagram, qint64 size)
{
    Sacn::DataPacket packet;
    if (Sacn::parse(datagram, size, &packet) != Sacn::Parsed::Data)
        return;
    SacnLevels written;
    const SacnMerger::Outcome outcome = merger->take(packet, 0x7F000001, now, &written);
    const int universe = packet.universe;
    if ((outcome == SacnMerger::Outcome::NotMapped) == listed(packet.universe))
        fail("a universe taken or refused wrongly", universe);
    if (merger->sourceCount(packet.universe) > SacnMerger::SourcesPerUniverse
        || merger->sourceCount() > SacnMerger::MaxSources)
        fail("more sources than the limits", universe);
    if (outcome != SacnMerger::Outcome::Written)
        return;
    if (written.universe != packet.universe || !written.winning)
        fail("a write to another universe", written.universe);
    if (written.length < packet.slotCount || written.length > Sacn::MaxSlots)
        fail("a written length out of bounds", universe);
    for (int slot = 0; slot < packet.slotCount; ++slot) {
        if (written.levels[slot] < packet.values[slot])
            fail("a winning level lost", universe);
    }
}

void flood(int count, quint16 universe, quint8 priority)
{
    SacnDataPacket packet = Sacn::dataPacket(Sacn::Cid{}, QString(), universe, Sacn::MaxSlots, 0xFF);
    packet.framing.priority = priority;
    for (int i = 0; i < count; ++i) {
        ++floodSerial;
        std::memcpy(packet.root.cid.bytes, &floodSerial, sizeof floodSerial);
        offer(reinterpret_cast<const quint8 *>(&packet), Sacn::wireSize(packet));
    }
}

void checkStillWorking()
{
    now += SacnMerger::NetworkDataLossMs;
    merger->expire(now);
    if (merger->sourceCount() != 0)
        fail("sources outlived the loss timeout", -1);
    if (merger->universes().isEmpty())
        return;
    const quint16 universe = merger->universes().last();
    SacnDataPacket packet = Sacn::dataPacket(Sacn::Cid{{0xFE}}, QString(), universe, 3, 7, 1);
    Sacn::DataPacket view;
    Sacn::parse(reinterpret_cast<const quint8 *>(&packet), Sacn::wireSize(packet), &view);
    SacnLevels written;
    if (merger->take(view, 0x7F000001, now, &written) != SacnMerger::Outcome::Written || written.length != 3
        || std::memcmp(written.levels, "\x07\x08\x09", 3) != 0)
        fail("a new source was not written as sent", universe);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    merger = new SacnMerger;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input input{data, size};
    first = quint16(1 + input.word() % LastFirstUniverse);
    listedEvery = input.byte() % 4 + 1;
    QVector<quint16> universes;
    for (int n = 0; n < SacnMerger::MaxUniverses; n += int(listedEvery))
        universes.append(quint16(first + n));
    merger->setUniverses(universes);

    while (input.has(1)) {
        switch (input.byte() % 4) {
        case 0: {
            const std::size_t length = std::min<std::size_t>(input.word(), size - input.at);
            offer(data + input.at, qint64(length));
            input.at += length;
            break;
        }
        case 1:
            now += qint64(input.byte()) * 16;
            break;
        case 2: {
            const int count = int(input.byte() + 1) * 16;
            const quint16 universe = quint16(input.word());
            flood(count, universe, quint8(input.byte() % (Sacn::MaxPriority + 1)));
            break;
        }
        default:
            merger->expire(now);
            break;
        }
    }
    checkStillWorking();
    return 0;
}
