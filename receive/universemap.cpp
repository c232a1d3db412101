#include "universemap.h"

#include <algorithm>
#include <utility>

namespace {

// A protocol's numbers of `records` when `first` feeds record 0.
std::vector<std::uint16_t> numbersOf(const std::vector<std::uint16_t> &records, std::uint16_t first)
{
    std::vector<std::uint16_t> numbers;
    numbers.reserve(records.size());
    for (std::uint16_t record : records)
        numbers.push_back(std::uint16_t(first + record));
    return numbers;
}

} // namespace

UniverseMap::UniverseMap(std::uint16_t artNetFirst, std::uint16_t sacnFirst, std::vector<std::uint16_t> records)
    : artNet(std::min(artNetFirst, LastArtNetFirst)),
      sacn(sacnFirst),
      listed(std::move(records))
{
    listed.erase(std::remove_if(listed.begin(), listed.end(), [](std::uint16_t r) { return r >= RecordCount; }),
                 listed.end());
    std::sort(listed.begin(), listed.end());
    listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
    std::fill(std::begin(isListed), std::end(isListed), false);
    for (std::uint16_t record : listed)
        isListed[record] = true;
}

int UniverseMap::recordOfPortAddress(std::uint16_t portAddress) const
{
    const int record = int(portAddress) - int(artNet);
    return record >= 0 && record < RecordCount ? record : -1;
}

int UniverseMap::recordOfSacnUniverse(std::uint16_t universe) const
{
    const int record = int(universe) - int(sacn);
    return record >= 0 && record < RecordCount && isListed[record] ? record : -1;
}

std::vector<std::uint16_t> UniverseMap::portAddresses() const
{
    return numbersOf(listed, artNet);
}

std::vector<std::uint16_t> UniverseMap::sacnUniverses() const
{
    return numbersOf(listed, sacn);
}
