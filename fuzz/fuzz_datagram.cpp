// Datagram bytes into the running receive path: engine, acceptance, mapper,
// area. After every input the whole area is compared with what it held
// before: only an ArtDmx for universes 0 to 255 may change anything, and then
// only its own record, with its channels as they arrived, a length of at most
// 512 that promises no byte the datagram did not carry, and one more packet
// counted.

#include "areamodel.h"
#include "datagramrig.h"
#include "quietdebug.h"

#include <QApplication>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr quint16 RigPort = 46610;

// Lives until the process ends: destroying it from an exit handler could
// outlive the section layer's own bookkeeping.
DatagramRig *rig = nullptr;

[[noreturn]] void fail(const char *what, std::size_t offset)
{
    std::fprintf(stderr, "area check failed: %s (area offset %zu)\n", what, offset);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietDebug);
    new QApplication(*argc, *argv);
    rig = new DatagramRig(RigPort);
    if (!rig->isReady()) {
        std::fprintf(stderr, "cannot set up the engine on 127.0.0.1:%u and the universe data area\n", RigPort);
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Larger datagrams are cut by the engine anyway; beyond 64 KB UDP cannot carry them.
    if (size > 65507)
        return -1;
    const auto *area = reinterpret_cast<const std::uint8_t *>(&rig->area());
    std::vector<std::uint8_t> before(area, area + UniverseData::AreaSize);

    if (!rig->deliver(QByteArray(reinterpret_cast<const char *>(data), int(size))))
        fail("the datagram was not handled in time", 0);

    std::vector<std::uint8_t> expected = before;
    const AreaModel::Effect effect = AreaModel::apply(expected.data(), data, size);
    const bool isDmx = effect.kind == AreaModel::Kind::DmxForRecord
        || effect.kind == AreaModel::Kind::DmxBeyondRecords;
    const unsigned universe = effect.universe;

    if (std::memcmp(expected.data(), area, UniverseData::AreaSize) != 0) {
        std::size_t offset = 0;
        while (expected[offset] == area[offset])
            ++offset;
        const std::size_t inRecord = offset % UniverseData::RecordSize;
        if (offset / UniverseData::RecordSize != universe || !isDmx)
            fail("a record the datagram does not address changed", offset);
        if (inRecord < 4)
            fail("wrong length stored", offset);
        if (inRecord >= 516 && inRecord < 520)
            fail("wrong packet count", offset);
        if (inRecord >= 520)
            fail("the reserved bytes changed", offset);
        fail("wrong channel data", offset);
    }
    return 0;
}
