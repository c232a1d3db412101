// The driver library as the host sees it: loaded by file name at run time and
// called through the resolved functions, natively and (the DLL) under wine.

#include "childprocess.h"
#include "driverlibrary.h"
#include "plaintest.h"
#include "sharedarea.h"
#include "shortpause.h"

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using VdEthDmx::ConnectFailed;
constexpr uint16_t Device = 3;
constexpr unsigned char Untouched = 0xcd;

// A freshly loaded library per test case, so that no case sees the state
// another left behind.
class Driver
{
public:
    Driver()
    {
        if (!library.load(VDETHDMX_FILE))
            PlainTest::fail(__FILE__, __LINE__, "cannot load the library: " + library.errorString());
    }
    ~Driver()
    {
        // A failed case may leave connections open.
        for (int i = 0; i < 100 && api().GetNumPorts(Device) != -1; ++i)
            api().Disconnect(Device);
    }
    const DriverFunctions &api() const { return library.functions(); }
    const DriverFunctions *operator->() const { return &library.functions(); }

private:
    DriverLibrary library;
};

// The area as the program holds it, created through the same section layer.
struct Area : SharedArea
{
    explicit Area(std::uint32_t size = UniverseData::AreaSize)
        : SharedArea(Mode::Create, UniverseData::SectionName, size)
    {
        if (!isValid())
            PlainTest::fail(__FILE__, __LINE__, "cannot create the universe data area");
    }
};

// The program's stand-in in another process: writes one packet for the
// universe, channel i = first + i, and holds the area until the host stores
// the token as the first channel of universe 255.
struct Writer : ChildProcess
{
    Writer(int universe, int length, int first, int token)
        : ChildProcess({AREAWRITER_FILE, std::to_string(universe), std::to_string(length), std::to_string(first),
                        std::to_string(token)})
    {
    }
};

template<typename Condition>
bool waitUntil(Condition condition)
{
    for (int waited = 0; waited < 2000; ++waited) {
        if (condition())
            return true;
        pause10ms();
    }
    return condition();
}

bool channelsAre(const uint8_t *channels, int count, int first)
{
    for (int i = 0; i < count; ++i) {
        if (channels[i] != static_cast<uint8_t>(first + i))
            return false;
    }
    return true;
}

// A device list with room behind it, to see every byte that was written.
struct GuardedDeviceList
{
    VdEthDmxDeviceList list;
    VdEthDmxDeviceEntry behind[2];
};

GuardedDeviceList markedList(int32_t count)
{
    GuardedDeviceList devices;
    std::memset(&devices, Untouched, sizeof devices);
    devices.list.count = count;
    return devices;
}

bool bytesEqual(const void *a, const void *b, std::size_t size)
{
    return std::memcmp(a, b, size) == 0;
}

} // namespace

PLAINTEST(fixedAnswersDoNotDependOnTheConnection)
{
    Driver driver;
    for (bool connected : {false, true}) {
        Area area;
        if (connected)
            PT_COMPARE(driver->Connect(), 0);
        PT_COMPARE(driver->GetDriverCaps(), 1);
        PT_COMPARE(driver->GetDevCaps(0), 1);
        PT_COMPARE(driver->GetDevCaps(0xffff), 1);

        const struct { int32_t port; int32_t caps; } ports[] = {
            {INT_MIN, 0}, {-1, 0}, {0, 1}, {128, 1}, {255, 1}, {256, 0}, {INT_MAX, 0}};
        for (const auto &p : ports)
            PT_COMPARE(driver->GetPortCaps(Device, p.port), p.caps);

        int32_t first = 0;
        int32_t second = 0;
        driver->GetVersionInfo(&first, &second);
        PT_COMPARE(first, 2);
        PT_COMPARE(second, 310);
        if (connected)
            driver->Disconnect(Device);
    }

    // Null pointers are skipped, each on its own.
    int32_t value = -7;
    driver->GetVersionInfo(nullptr, &value);
    PT_COMPARE(value, 310);
    driver->GetVersionInfo(&value, nullptr);
    PT_COMPARE(value, 2);
    driver->GetVersionInfo(nullptr, nullptr);
}

PLAINTEST(connectFailsUntilTheAreaExists)
{
    Driver driver;
    PT_COMPARE(driver->Connect(), ConnectFailed);
    PT_COMPARE(driver->GetNumPorts(Device), -1);
    PT_COMPARE(driver->Connect(), ConnectFailed);

    Area area;
    PT_COMPARE(driver->Connect(), 0);
    PT_COMPARE(driver->GetNumPorts(Device), 256);
    driver->Disconnect(Device);
    PT_COMPARE(driver->GetNumPorts(Device), -1);
}

PLAINTEST(onlyTheLastDisconnectReleasesTheArea)
{
    Driver driver;
    Area area;
    // Disconnects without a connection must not count against later ones.
    driver->Disconnect(Device);
    driver->Disconnect(Device);
    PT_COMPARE(driver->GetNumPorts(Device), -1);
    PT_COMPARE(driver->Connect(), 0);
    PT_COMPARE(driver->GetNumPorts(Device), 256);
    PT_COMPARE(driver->Connect(), 0);

    uint8_t *channels = nullptr;
    PT_CHECK(driver->GetPortBuffer(Device, 9, &channels) >= 0);
    driver->Disconnect(Device);
    PT_COMPARE(driver->GetNumPorts(Device), 256);
    // The view stays where it was for the remaining connection.
    uint8_t *again = nullptr;
    PT_CHECK(driver->GetPortBuffer(Device, 9, &again) >= 0);
    PT_CHECK(again == channels);

    driver->Disconnect(Device);
    PT_COMPARE(driver->GetNumPorts(Device), -1);
    PT_COMPARE(driver->GetNumChannels(Device, 9), -1);
}

PLAINTEST(connectRefusesASectionSmallerThanTheArea)
{
    Driver driver;
    Area tooSmall(4096);
    PT_COMPARE(driver->Connect(), ConnectFailed);
    PT_COMPARE(driver->GetNumPorts(Device), -1);
    uint8_t *channels = nullptr;
    PT_COMPARE(driver->GetPortBuffer(Device, 255, &channels), -1);
    PT_CHECK(channels == nullptr);
}

PLAINTEST(portBufferIsTheRecordOfThatUniverse)
{
    Driver driver;
    Area area;
    area.record(255).length = 77;
    area.record(255).data[0] = 0x5a;
    area.record(255).data[511] = 0xa5;
    area.record(1).length = 512;
    PT_COMPARE(driver->Connect(), 0);

    uint8_t *first = nullptr;
    uint8_t *last = nullptr;
    PT_COMPARE(driver->GetPortBuffer(Device, 0, &first), 0);
    PT_COMPARE(driver->GetPortBuffer(Device, 255, &last), 77);
    PT_COMPARE(driver->GetNumChannels(Device, 255), 77);
    PT_COMPARE(driver->GetNumChannels(Device, 1), 512);
    // Port 0's channels sit 4 bytes into the view.
    PT_COMPARE(last - (first - 4), 133624);
    PT_COMPARE(int(last[0]), 0x5a);
    PT_COMPARE(int(last[511]), 0xa5);

    // The count is read at the moment of the call, and the host may write.
    area.record(255).length = 12;
    PT_COMPARE(driver->GetNumChannels(Device, 255), 12);
    last[1] = 0x42;
    PT_COMPARE(int(area.record(255).data[1]), 0x42);

    // A universe never received: no channels, all zero.
    uint8_t *quiet = nullptr;
    PT_COMPARE(driver->GetPortBuffer(Device, 100, &quiet), 0);
    const std::vector<uint8_t> zeros(512, 0);
    PT_CHECK(bytesEqual(quiet, zeros.data(), zeros.size()));

    // Without a place to store the address the count still comes back.
    PT_COMPARE(driver->GetPortBuffer(Device, 255, nullptr), 12);
    driver->Disconnect(Device);
}

PLAINTEST(noPortDataOutsideTheConnectionOrTheRange)
{
    Driver driver;
    Area area;
    uint8_t marker = 0;
    uint8_t *const untouched = &marker;
    const int32_t ports[] = {INT_MIN, -1, 0, 255, 256, INT_MAX};
    for (bool connected : {false, true}) {
        if (connected)
            PT_COMPARE(driver->Connect(), 0);
        for (int32_t port : ports) {
            if (connected && port >= 0 && port <= 255)
                continue;
            uint8_t *channels = untouched;
            PT_COMPARE(driver->GetPortBuffer(Device, port, &channels), -1);
            PT_CHECK(channels == untouched);
            PT_COMPARE(driver->GetNumChannels(Device, port), -1);
        }
    }
    driver->Disconnect(Device);
}

PLAINTEST(channelCountStaysWithinARecord)
{
    Driver driver;
    Area area;
    PT_COMPARE(driver->Connect(), 0);
    // Any process of the same user can write the area.
    const struct { int32_t stored; int32_t reported; } cases[] = {
        {0, 0}, {1, 1}, {511, 511}, {512, 512}, {513, 512}, {100000, 512},
        {INT_MAX, 512}, {-1, 0}, {-5, 0}, {INT_MIN, 0}};
    for (const auto &c : cases) {
        area.record(42).length = c.stored;
        uint8_t *channels = nullptr;
        PT_COMPARE(driver->GetPortBuffer(Device, 42, &channels), c.reported);
        PT_COMPARE(driver->GetNumChannels(Device, 42), c.reported);
    }
    driver->Disconnect(Device);
}

PLAINTEST(detectFillsTheLastEntryThenStops)
{
    Driver driver;
    Area area;
    GuardedDeviceList devices = markedList(31);
    GuardedDeviceList expected = devices;
    expected.list.count = 32;
    // Texts with their terminators; the bytes after them stay as they were.
    unsigned char *entry = reinterpret_cast<unsigned char *>(&expected) + 11102;
    entry[0] = 0x34;
    entry[1] = 0x12;
    std::memcpy(entry + 2, "VeldNet", 8);
    std::memcpy(entry + 35, "Eth-DMX", 8);
    entry[68] = 0;

    PT_COMPARE(driver->StartDetect(0x1234, &devices.list), 1);
    PT_CHECK(bytesEqual(&devices, &expected, sizeof devices));

    // A full list stays as it is.
    PT_COMPARE(driver->StartDetect(0x1234, &devices.list), 1);
    PT_CHECK(bytesEqual(&devices, &expected, sizeof devices));
}

PLAINTEST(detectAppendsOneEntryPerCall)
{
    Driver driver;
    std::unique_ptr<Area> area(new Area);
    GuardedDeviceList devices = markedList(0);
    PT_COMPARE(driver->StartDetect(0xbeef, &devices.list), 1);
    PT_COMPARE(driver->StartDetect(0xbeef, &devices.list), 1);
    PT_COMPARE(devices.list.count, 2);
    PT_CHECK(bytesEqual(&devices.list.entries[0], &devices.list.entries[1], sizeof(VdEthDmxDeviceEntry)));
    PT_COMPARE(std::string(devices.list.entries[1].name), std::string("VeldNet"));
    PT_COMPARE(std::string(devices.list.entries[1].type), std::string("Eth-DMX"));
    PT_COMPARE(devices.list.entries[1].detail[0], '\0');
    PT_COMPARE(int(static_cast<unsigned char>(devices.list.entries[1].detail[1])), int(Untouched));

    // While connected the device is reported without a probe of its own, and
    // still after the program's handle is gone.
    PT_COMPARE(driver->Connect(), 0);
    area.reset();
    PT_COMPARE(driver->StartDetect(7, &devices.list), 1);
    PT_COMPARE(devices.list.count, 3);
    const uint16_t id = devices.list.entries[2].deviceId;
    PT_COMPARE(id, uint16_t(7));
    driver->Disconnect(Device);
}

PLAINTEST(detectLeavesAloneWhatItCannotAddTo)
{
    Driver driver;
    // StartDetect succeeds and writes no byte of a list of `count` entries.
    const auto leavesAlone = [&](int32_t count) {
        GuardedDeviceList devices = markedList(count);
        const GuardedDeviceList before = devices;
        return driver->StartDetect(Device, &devices.list) == 1 && bytesEqual(&devices, &before, sizeof devices);
    };
    // No device without the area.
    PT_CHECK(leavesAlone(0));

    // No list, or one that cannot hold another entry.
    Area area;
    PT_COMPARE(driver->StartDetect(Device, nullptr), 1);
    for (int32_t count : {-1, 33, 1000, INT_MAX, INT_MIN})
        PT_CHECK(leavesAlone(count));
}

PLAINTEST(hostKeepsReadingWhileTheWriterComesAndGoes)
{
    Driver driver;
    Writer first(17, 300, 1, 11);
    PT_CHECK(waitUntil([&] { return driver->Connect() == 0; }));
    PT_CHECK(waitUntil([&] { return driver->GetNumChannels(Device, 17) == 300; }));
    uint8_t *channels = nullptr;
    PT_COMPARE(driver->GetPortBuffer(Device, 17, &channels), 300);
    PT_CHECK(channelsAre(channels, 300, 1));

    // Let the writer go: the host's connection keeps the area and its values.
    uint8_t *answer = nullptr;
    PT_COMPARE(driver->GetPortBuffer(Device, 255, &answer), 0);
    answer[0] = 11;
    PT_COMPARE(first.waitForExit(), 0);
    PT_COMPARE(driver->GetNumPorts(Device), 256);
    PT_COMPARE(driver->GetNumChannels(Device, 17), 300);
    PT_CHECK(channelsAre(channels, 300, 1));

    // A new writer's packet arrives without a new Connect.
    Writer second(17, 24, 200, 22);
    PT_CHECK(waitUntil([&] { return driver->GetNumChannels(Device, 17) == 24; }));
    PT_CHECK(channelsAre(channels, 24, 200));
    // Bytes behind the shorter packet keep the longer one's values.
    PT_CHECK(channelsAre(channels + 24, 300 - 24, 1 + 24));
    answer[0] = 22;
    PT_COMPARE(second.waitForExit(), 0);

    // With the last holder gone the area is gone too.
    driver->Disconnect(Device);
    PT_COMPARE(driver->Connect(), ConnectFailed);
}

#ifdef _WIN32
PLAINTEST(ordinalsResolveTheNamedFunctions)
{
    DriverLibrary byName;
    DriverLibrary byOrdinal;
    PT_CHECK(byName.load(VDETHDMX_FILE));
    PT_CHECK(byOrdinal.load(VDETHDMX_FILE, DriverLibrary::Binding::ByOrdinal));
    // Every entry point the same, whichever way it was found.
    PT_CHECK(bytesEqual(&byName.functions(), &byOrdinal.functions(), sizeof(DriverFunctions)));
}
#endif

PLAINTEST_MAIN()
