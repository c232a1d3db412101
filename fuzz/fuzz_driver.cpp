// Sequences of driver calls with arbitrary arguments, as a careless or
// hostile host might make them, while the universe data area appears and
// vanishes between calls and its records hold whatever another process of
// the same user wrote there. Every answer is checked against what the host
// may rely on, and after every input the library must have let go of the
// area once its connections are ended.
//
// An input is a stream of operations: one byte chooses the operation, the
// bytes after it are its arguments (little-endian; missing bytes read as 0).

#include "driverlibrary.h"
#include "sharedsection.h"
#include "universedataarea.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using VdEthDmx::ConnectFailed;
using VdEthDmx::NoData;
constexpr int32_t ListCapacity = 32;
constexpr unsigned char Untouched = 0xcd;
constexpr int MaxOperations = 4096;

enum Operation : std::uint8_t {
    OpConnect,
    OpDisconnect,
    OpGetNumPorts,
    OpGetNumChannels,
    OpGetPortBuffer,
    OpGetPortCaps,
    OpConstants,
    OpStartDetect,
    OpCreateArea,
    OpCloseArea,
    OpScribble,
    OperationCount
};

DriverLibrary library;

[[noreturn]] void fail(const char *what, long long got)
{
    std::fprintf(stderr, "driver check failed: %s (got %lld)\n", what, got);
    std::abort();
}

void expect(bool condition, const char *what, long long got)
{
    if (!condition)
        fail(what, got);
}

class Input
{
public:
    Input(const std::uint8_t *data, std::size_t size) : data(data), size(size) {}
    bool atEnd() const { return offset >= size; }
    std::uint8_t byte() { return offset < size ? data[offset++] : 0; }
    std::uint16_t word() { return std::uint16_t(byte() | byte() << 8); }
    std::int32_t integer()
    {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8)
            value |= std::uint32_t(byte()) << shift;
        return std::int32_t(value);
    }

private:
    const std::uint8_t *data;
    std::size_t size;
    std::size_t offset = 0;
};

// What the host may expect from the library, given what happened so far.
struct Model
{
    int connections = 0;
    // The area as another process (the program) holds it.
    SharedSection::Handle ownHandle = nullptr;
    void *ownView = nullptr;
    // Size of the live section; it keeps the size it was created with.
    std::uint32_t liveSize = 0;
    // Where the library's view puts port 0's channels, once seen.
    const std::uint8_t *portZero = nullptr;

    bool areaLive() const { return ownHandle || connections > 0; }
    UniverseDataArea *area() const
    {
        return SharedSection::viewSize(ownView) >= UniverseData::AreaSize ? static_cast<UniverseDataArea *>(ownView)
                                                                            : nullptr;
    }
};

bool isPort(std::int32_t port)
{
    return port >= 0 && port < UniverseData::UniverseCount;
}

std::int32_t clampedLength(const UniverseRecord &record)
{
    if (record.length < 0)
        return 0;
    return record.length > UniverseData::ChannelCount ? UniverseData::ChannelCount : record.length;
}

void checkChannelCount(const Model &model, std::int32_t port, std::int32_t result)
{
    if (model.connections == 0 || !isPort(port)) {
        expect(result == NoData, "no channel count without a connection or outside the ports", result);
        return;
    }
    expect(result >= 0 && result <= UniverseData::ChannelCount, "channel count within 0..512", result);
    if (const UniverseDataArea *area = model.area())
        expect(result == clampedLength(area->universes[port]), "channel count is the record's, clamped", result);
}

void closeOwnArea(Model &model)
{
    SharedSection::unmap(model.ownView);
    SharedSection::close(model.ownHandle);
    model.ownView = nullptr;
    model.ownHandle = nullptr;
    if (!model.areaLive())
        model.liveSize = 0;
}

void run(const DriverFunctions &driver, Model &model, Input &input)
{
    const std::uint8_t operation = input.byte() % OperationCount;
    switch (operation) {
    case OpConnect: {
        const bool canOpen = model.connections > 0 || (model.areaLive() && model.liveSize >= UniverseData::AreaSize);
        const std::int32_t result = driver.Connect();
        expect(result == (canOpen ? 0 : ConnectFailed), "Connect answers by whether the area can be used", result);
        if (canOpen)
            ++model.connections;
        break;
    }
    case OpDisconnect:
        driver.Disconnect(input.word());
        if (model.connections > 0 && --model.connections == 0) {
            model.portZero = nullptr;
            if (!model.ownHandle)
                model.liveSize = 0;
        }
        break;
    case OpGetNumPorts: {
        const std::int32_t result = driver.GetNumPorts(input.word());
        expect(result == (model.connections > 0 ? 256 : NoData), "GetNumPorts follows the connection", result);
        break;
    }
    case OpGetNumChannels: {
        const std::uint16_t device = input.word();
        const std::int32_t port = input.integer();
        checkChannelCount(model, port, driver.GetNumChannels(device, port));
        break;
    }
    case OpGetPortBuffer: {
        const std::uint16_t device = input.word();
        const std::int32_t port = input.integer();
        const bool withBuffer = input.byte() & 1;
        std::uint8_t marker = 0;
        std::uint8_t *buffer = &marker;
        const std::int32_t result = driver.GetPortBuffer(device, port, withBuffer ? &buffer : nullptr);
        checkChannelCount(model, port, result);
        if (result == NoData || !withBuffer) {
            expect(buffer == &marker, "no buffer is stored without port data", result);
            break;
        }
        // Every port's channels sit at one base + port x 524 + 4 of the library's view.
        const std::uint8_t *zero = buffer - port * std::ptrdiff_t(UniverseData::RecordSize);
        if (!model.portZero)
            model.portZero = zero;
        expect(zero == model.portZero, "port buffers are records of one view", port);
        // The host reads all 512 channels; they must be the shared record's.
        std::uint8_t channels[UniverseData::ChannelCount];
        std::memcpy(channels, buffer, sizeof channels);
        if (const UniverseDataArea *area = model.area())
            expect(std::memcmp(channels, area->universes[port].data, sizeof channels) == 0,
                   "the port buffer shows the shared record", port);
        break;
    }
    case OpGetPortCaps: {
        const std::uint16_t device = input.word();
        const std::int32_t port = input.integer();
        const std::int32_t result = driver.GetPortCaps(device, port);
        expect(result == (isPort(port) ? 1 : 0), "GetPortCaps is 1 exactly for ports 0..255", result);
        break;
    }
    case OpConstants: {
        const std::uint16_t device = input.word();
        const std::uint8_t nulls = input.byte();
        expect(driver.GetDevCaps(device) == 1, "GetDevCaps is 1", driver.GetDevCaps(device));
        expect(driver.GetDriverCaps() == 1, "GetDriverCaps is 1", driver.GetDriverCaps());
        std::int32_t first = -7;
        std::int32_t second = -7;
        driver.GetVersionInfo(nulls & 1 ? nullptr : &first, nulls & 2 ? nullptr : &second);
        expect((nulls & 1) || first == 2, "first version number", first);
        expect((nulls & 2) || second == 310, "second version number", second);
        break;
    }
    case OpStartDetect: {
        const std::uint16_t device = input.word();
        const std::int32_t count = input.integer();
        const std::uint8_t shape = input.byte();
        if (shape == 0xff) {
            expect(driver.StartDetect(device, nullptr) == 1, "StartDetect without a list", 0);
            break;
        }
        // On the heap, so that a write past the list is caught at once: the
        // host's 32 entries, or (odd shapes) only as many as the count puts
        // in use, which is all the library may touch.
        const bool inUse = count >= 0 && count < ListCapacity;
        const std::size_t bytes = (shape & 1) && inUse
                                      ? offsetof(VdEthDmxDeviceList, entries) + (count + 1) * sizeof(VdEthDmxDeviceEntry)
                                      : sizeof(VdEthDmxDeviceList);
        std::unique_ptr<unsigned char[]> storage(new unsigned char[bytes]);
        std::memset(storage.get(), Untouched, bytes);
        std::memcpy(storage.get(), &count, sizeof count);
        std::unique_ptr<unsigned char[]> before(new unsigned char[bytes]);
        std::memcpy(before.get(), storage.get(), bytes);
        auto *list = reinterpret_cast<VdEthDmxDeviceList *>(storage.get());
        const std::int32_t result = driver.StartDetect(device, list);
        expect(result == 1, "StartDetect always answers 1", result);
        if (!model.areaLive() || !inUse) {
            expect(std::memcmp(before.get(), storage.get(), bytes) == 0, "StartDetect leaves the list alone", count);
            break;
        }
        // Exactly one entry more: the count, and the entry's id and texts
        // with their terminators; every other byte as the host left it.
        const std::int32_t added = count + 1;
        std::memcpy(before.get(), &added, sizeof added);
        auto *entry = reinterpret_cast<VdEthDmxDeviceEntry *>(before.get() + offsetof(VdEthDmxDeviceList, entries)
                                                               + count * sizeof(VdEthDmxDeviceEntry));
        entry->deviceId = device;
        std::memcpy(entry->name, "VeldNet", 8);
        std::memcpy(entry->type, "Eth-DMX", 8);
        entry->detail[0] = '\0';
        expect(std::memcmp(before.get(), storage.get(), bytes) == 0, "StartDetect writes one entry, nothing else",
               count);
        break;
    }
    case OpCreateArea: {
        // Mostly the program's full area; sometimes a smaller section of the
        // same name, as any process of the user could make it.
        const std::uint8_t kind = input.byte();
        const std::uint32_t size = kind < 0xc0 ? UniverseData::AreaSize
                                               : 1 + std::uint32_t(input.integer()) % (UniverseData::AreaSize - 1);
        if (model.ownHandle)
            break;
        model.ownHandle = SharedSection::create(UniverseData::SectionName, size);
        expect(model.ownHandle != nullptr, "the area can be created", size);
        model.ownView = SharedSection::map(model.ownHandle, SharedSection::Access::Write);
        expect(model.ownView != nullptr, "the area can be mapped", size);
        if (model.liveSize == 0)
            model.liveSize = size;
        expect(SharedSection::viewSize(model.ownView) >= model.liveSize, "a live section keeps its size", size);
        break;
    }
    case OpCloseArea:
        closeOwnArea(model);
        break;
    case OpScribble: {
        const int universe = input.byte();
        const std::int32_t length = input.integer();
        const std::uint8_t fill = input.byte();
        if (UniverseDataArea *area = model.area()) {
            UniverseRecord &record = area->universes[universe];
            std::memset(record.data, fill, sizeof record.data);
            record.length = length;
        }
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!library.load(VDETHDMX_FILE)) {
        std::fprintf(stderr, "cannot load the driver library: %s\n", library.errorString().c_str());
        std::exit(1);
    }
    if (SharedSection::Handle held = SharedSection::open(UniverseData::SectionName, SharedSection::Access::Read)) {
        SharedSection::close(held);
        std::fprintf(stderr, "the universe data area is held by another process\n");
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const DriverFunctions &driver = library.functions();
    Model model;
    Input input(data, size);
    for (int i = 0; i < MaxOperations && !input.atEnd(); ++i)
        run(driver, model, input);

    // End every connection the way a host does, plus one Disconnect too many;
    // then, with the program gone too, nothing may hold the area any more.
    for (; model.connections > 0; --model.connections)
        driver.Disconnect(0);
    driver.Disconnect(0);
    closeOwnArea(model);
    expect(driver.GetNumPorts(0) == NoData, "no connection is left", driver.GetNumPorts(0));
    SharedSection::Handle left = SharedSection::open(UniverseData::SectionName, SharedSection::Access::Read);
    if (left) {
        SharedSection::close(left);
        fail("the library still holds the area after its last Disconnect", 0);
    }
    return 0;
}
