// The shared section must behave like a Windows named file mapping on every
// platform: fresh sections read as zeros, the contents live exactly as long as
// some process holds the section, and a holder that dies takes nothing with it
// but its own hold. Cross-process cases run the sectionholder program.

#include "childprocess.h"
#include "plaintest.h"
#include "shortpause.h"
#include "sharedsection.h"
#include "universedataarea.h"

#include <cstdio>
#include <fstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

using SharedSection::Access;

namespace {

#ifdef _WIN32
unsigned long processId() { return GetCurrentProcessId(); }
#else
unsigned long processId() { return static_cast<unsigned long>(getpid()); }
#endif

int uniqueNumber()
{
    static int counter = 0;
    return ++counter;
}

// Each case gets a name of its own, so that cases and parallel test runs never
// meet in one section. Spaces as in the real name.
std::string sectionName()
{
    return "Dorvantis test section " + std::to_string(processId()) + " " + std::to_string(uniqueNumber());
}

bool fileExists(const std::string &path) { return std::ifstream(path).good(); }

// The section holder in another process.
class Holder
{
public:
    Holder(const char *mode, const std::string &name, std::size_t offset, int value)
        : stem("sectionholder-" + std::to_string(processId()) + "-" + std::to_string(uniqueNumber())),
          readyFile(freshFile(stem + ".ready")),
          releaseFile(freshFile(stem + ".release")),
          process({SECTIONHOLDER_FILE, mode, name, std::to_string(UniverseData::AreaSize),
                   std::to_string(offset), std::to_string(value), readyFile, releaseFile})
    {
        if (!process.isRunning())
            PlainTest::fail(__FILE__, __LINE__, "cannot start " SECTIONHOLDER_FILE);
    }

    ~Holder()
    {
        process.kill();
        std::remove(readyFile.c_str());
        std::remove(releaseFile.c_str());
    }

    // The byte the holder found at its offset; -1 when it could not get the section.
    int waitReady()
    {
        for (int i = 0; i < 3000 && !fileExists(readyFile); ++i)
            pause10ms();
        std::ifstream in(readyFile);
        std::string text;
        in >> text;
        if (text.empty())
            PlainTest::fail(__FILE__, __LINE__, "the holder did not report");
        return text == "fail" ? -1 : std::stoi(text);
    }

    // Lets the holder unmap and close, and waits until it has exited.
    void release()
    {
        std::ofstream(releaseFile) << "go\n";
        process.waitForExit(30000);
    }

    // Ends the holder without giving it a chance to close anything.
    void kill() { process.kill(); }

private:
    // A control file with nothing left in it from an earlier run.
    static std::string freshFile(const std::string &file)
    {
        std::remove(file.c_str());
        return file;
    }

    std::string stem;
    std::string readyFile;
    std::string releaseFile;
    ChildProcess process;
};

// A created and mapped section, released at the end of a case however it ends.
struct Mapping
{
    Mapping(const std::string &name, std::uint32_t size = UniverseData::AreaSize)
        : handle(SharedSection::create(name.c_str(), size)),
          bytes(static_cast<unsigned char *>(SharedSection::map(handle, Access::Write)))
    {
    }
    ~Mapping() { reset(); }
    void reset()
    {
        SharedSection::unmap(bytes);
        SharedSection::close(handle);
        bytes = nullptr;
        handle = nullptr;
    }
    SharedSection::Handle handle;
    unsigned char *bytes;
};

bool allZero(const unsigned char *bytes, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

} // namespace

PLAINTEST(newSectionReadsAsZerosAndCoversTheWholeArea)
{
    Mapping area(sectionName());
    PT_CHECK(area.handle != nullptr);
    PT_CHECK(area.bytes != nullptr);
    // Windows reports whole pages, so the view may be a little larger.
    PT_CHECK(SharedSection::viewSize(area.bytes) >= UniverseData::AreaSize);
    PT_CHECK(SharedSection::viewSize(area.bytes) < UniverseData::AreaSize + 65536);
    PT_CHECK(allZero(area.bytes, UniverseData::AreaSize));
    area.bytes[UniverseData::AreaSize - 1] = 0xff; // the last byte is writable
}

PLAINTEST(sectionIsGoneOnceItsOnlyHolderCloses)
{
    const std::string name = sectionName();
    PT_CHECK(SharedSection::open(name.c_str(), Access::Write) == nullptr);
    {
        Mapping area(name);
        area.bytes[100] = 42;
    }
    PT_CHECK(SharedSection::open(name.c_str(), Access::Read) == nullptr);
    Mapping again(name);
    PT_COMPARE(again.bytes[100], 0);
}

PLAINTEST(nullAndUnknownArgumentsFailWithoutEffect)
{
    PT_CHECK(SharedSection::map(nullptr, Access::Write) == nullptr);
    PT_CHECK(SharedSection::map(nullptr, Access::Read) == nullptr);
    PT_CHECK(!SharedSection::unmap(nullptr));
    PT_CHECK(!SharedSection::close(nullptr));
    PT_COMPARE(SharedSection::viewSize(nullptr), 0u);

    Mapping area(sectionName());
    area.bytes[7] = 7;
    int local = 0;
    PT_CHECK(!SharedSection::unmap(&local));
    PT_COMPARE(area.bytes[7], 7);
}

PLAINTEST(handlesInOneProcessShareContentsAndLifetime)
{
    const std::string name = sectionName();
    Mapping first(name);
    first.bytes[1000] = 0x5a;

    SharedSection::Handle reader = SharedSection::open(name.c_str(), Access::Read);
    PT_CHECK(reader != nullptr);
    // A read handle cannot be mapped for writing.
    PT_CHECK(SharedSection::map(reader, Access::Write) == nullptr);
    const auto *seen = static_cast<const unsigned char *>(SharedSection::map(reader, Access::Read));
    PT_CHECK(seen != nullptr);
    PT_COMPARE(seen[1000], 0x5a);

    // The creator's handle goes; the reader keeps the section and its contents.
    first.reset();
    Mapping second(name);
    PT_COMPARE(second.bytes[1000], 0x5a);
    second.bytes[1001] = 0x11;
    PT_COMPARE(seen[1001], 0x11);

    PT_CHECK(SharedSection::unmap(const_cast<unsigned char *>(seen)));
    PT_CHECK(SharedSection::close(reader));
}

PLAINTEST(aViewOutlivesItsHandleButTheNameGoesWithTheLastHandle)
{
    const std::string name = sectionName();
    SharedSection::Handle handle = SharedSection::create(name.c_str(), UniverseData::AreaSize);
    auto *bytes = static_cast<unsigned char *>(SharedSection::map(handle, Access::Write));
    PT_CHECK(bytes != nullptr);
    bytes[5] = 5;
    PT_CHECK(SharedSection::close(handle));
    bytes[6] = 6; // the view is still usable
    PT_COMPARE(bytes[5], 5);

    PT_CHECK(SharedSection::open(name.c_str(), Access::Read) == nullptr);
    Mapping fresh(name);
    PT_COMPARE(fresh.bytes[5], 0);
    fresh.bytes[7] = 7;
    PT_COMPARE(bytes[7], 0);

    PT_CHECK(SharedSection::unmap(bytes));
    PT_CHECK(!SharedSection::unmap(bytes));
}

PLAINTEST(creatingAnExistingSmallerSectionKeepsItsSize)
{
    const std::string name = sectionName();
    Mapping small(name, 4096);
    small.bytes[10] = 10;
    Mapping large(name, UniverseData::AreaSize);
    PT_CHECK(large.bytes != nullptr);
    PT_COMPARE(large.bytes[10], 10);
    // Whoever needs the whole area must check the view before writing.
    PT_CHECK(SharedSection::viewSize(large.bytes) < UniverseData::AreaSize);
}

PLAINTEST(anotherProcessSeesAndChangesTheData)
{
    const std::string name = sectionName();
    Mapping area(name);
    area.bytes[2000] = 0x5a;
    Holder other("open", name, 2000, 0xa5);
    PT_COMPARE(other.waitReady(), 0x5a);
    PT_COMPARE(area.bytes[2000], 0xa5);
    other.release();
}

PLAINTEST(sectionSurvivesItsCreatorWhileAnotherProcessHoldsIt)
{
    const std::string name = sectionName();
    Mapping area(name);
    area.bytes[UniverseData::AreaSize - 1] = 0x77;
    Holder other("open", name, 0, 0x33);
    PT_COMPARE(other.waitReady(), 0);
    area.reset();

    // A new creator gets the section that is still held, contents and all.
    Mapping again(name);
    PT_COMPARE(again.bytes[UniverseData::AreaSize - 1], 0x77);
    PT_COMPARE(again.bytes[0], 0x33);
    PT_CHECK(SharedSection::viewSize(again.bytes) >= UniverseData::AreaSize);
    other.release();
}

PLAINTEST(nameIsGoneAfterTheLastProcessCloses)
{
    const std::string name = sectionName();
    Holder creator("create", name, 300, 0x99);
    PT_COMPARE(creator.waitReady(), 0);
    {
        SharedSection::Handle held = SharedSection::open(name.c_str(), Access::Read);
        PT_CHECK(held != nullptr);
        SharedSection::close(held);
    }
    creator.release();
    PT_CHECK(SharedSection::open(name.c_str(), Access::Read) == nullptr);
    Holder next("open", name, 0, -1);
    PT_COMPARE(next.waitReady(), -1);
}

PLAINTEST(aKilledCreatorLeavesNothingForTheNextOne)
{
    // The next one first tries to open the dead creator's section, or comes
    // straight away as a creator in a process of its own.
    for (bool openFirst : {true, false}) {
        const std::string name = sectionName();
        Holder creator("create", name, 300, 0x99);
        PT_COMPARE(creator.waitReady(), 0);
        creator.kill();

        if (openFirst) {
            PT_CHECK(SharedSection::open(name.c_str(), Access::Write) == nullptr);
            Mapping fresh(name);
            PT_CHECK(fresh.bytes != nullptr);
            PT_CHECK(allZero(fresh.bytes, UniverseData::AreaSize));
        } else {
            Holder next("create", name, 300, -1);
            PT_COMPARE(next.waitReady(), 0);
            next.release();
        }
    }
}

PLAINTEST_MAIN()
