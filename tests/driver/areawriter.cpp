// Stands in for the program in the driver's cross-process test: creates the
// universe data area (or takes the existing one), writes one packet into a
// universe the way the program does, and holds the area until the host
// answers by storing the token as the first channel of universe 255.
//
//   areawriter <universe> <length> <first value> <token>
//
// Channel i gets the value first + i (mod 256).

#include "sharedsection.h"
#include "shortpause.h"
#include "universedataarea.h"

#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 5)
        return 2;
    const int universe = std::atoi(argv[1]);
    const int length = std::atoi(argv[2]);
    const int first = std::atoi(argv[3]);
    const auto token = static_cast<unsigned char>(std::atoi(argv[4]));
    if (universe < 0 || universe >= UniverseData::UniverseCount || length < 0
        || length > UniverseData::ChannelCount)
        return 2;

    SharedSection::Handle section = SharedSection::create(UniverseData::SectionName, UniverseData::AreaSize);
    auto *area = static_cast<UniverseDataArea *>(SharedSection::map(section, SharedSection::Access::Write));
    if (!area)
        return 1;

    volatile UniverseRecord &record = area->universes[universe];
    for (int i = 0; i < length; ++i)
        record.data[i] = static_cast<unsigned char>(first + i);
    record.length = length;
    record.packetCount = record.packetCount + 1;

    // Bounded, so that a failed test leaves no process behind.
    const volatile unsigned char &answer = area->universes[UniverseData::UniverseCount - 1].data[0];
    int waited = 0;
    while (answer != token && waited++ < 6000)
        pause10ms();
    const bool answered = answer == token;

    SharedSection::unmap(area);
    SharedSection::close(section);
    return answered ? 0 : 3;
}
