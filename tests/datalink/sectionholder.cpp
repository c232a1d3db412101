// A second process for the shared-section tests. It creates or opens a
// section, maps it for writing, reports the byte it found at an offset, writes
// a new one, and then holds the section until told to let go (or is killed).
//
//   sectionholder create|open <name> <size> <offset> <value|-1> <ready-file> <release-file>
//
// The ready file receives the old byte, or "fail" when the section could not
// be had; it appears by rename so that the test never reads it half written.

#include "sharedsection.h"
#include "shortpause.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

static void report(const std::string &readyFile, const std::string &text)
{
    const std::string partial = readyFile + ".partial";
    {
        std::ofstream out(partial);
        out << text << '\n';
    }
    std::rename(partial.c_str(), readyFile.c_str());
}

int main(int argc, char **argv)
{
    if (argc != 8)
        return 2;
    const bool creating = std::strcmp(argv[1], "create") == 0;
    const char *name = argv[2];
    const auto size = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const auto offset = static_cast<std::size_t>(std::strtoul(argv[4], nullptr, 10));
    const int value = std::atoi(argv[5]);
    const std::string readyFile = argv[6];
    const std::string releaseFile = argv[7];

    SharedSection::Handle section = creating ? SharedSection::create(name, size)
                                             : SharedSection::open(name, SharedSection::Access::Write);
    auto *view = static_cast<unsigned char *>(SharedSection::map(section, SharedSection::Access::Write));
    if (!view || SharedSection::viewSize(view) <= offset) {
        report(readyFile, "fail");
        return 1;
    }
    const int old = view[offset];
    if (value >= 0)
        view[offset] = static_cast<unsigned char>(value);
    report(readyFile, std::to_string(old));

    // Bounded, so that a test that fails before releasing leaves no process behind.
    for (int i = 0; i < 6000 && !std::ifstream(releaseFile).good(); ++i)
        pause10ms();

    SharedSection::unmap(view);
    SharedSection::close(section);
    return 0;
}
