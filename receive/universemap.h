#ifndef UNIVERSEMAP_H
#define UNIVERSEMAP_H

// Which record of the area each protocol's universe numbers feed, for every
// protocol in one place. Art-Net Port-Address artNetFirst + n and sACN
// universe sacnFirst + n both feed record n. Every record takes Art-Net;
// sACN feeds only the records listed, which are also the ones offered to
// Art-Net controllers.

#include <cstdint>
#include <vector>

class UniverseMap
{
public:
    // The records of the shared area.
    static constexpr int RecordCount = 256;
    // The highest first Port-Address that keeps all records within 15 bits.
    static constexpr std::uint16_t LastArtNetFirst = 0x7FFF - (RecordCount - 1);

    UniverseMap(std::uint16_t artNetFirst, std::uint16_t sacnFirst, std::vector<std::uint16_t> records);

    std::uint16_t artNetFirst() const { return artNet; }
    std::uint16_t sacnFirst() const { return sacn; }
    // Ascending, without repeats.
    const std::vector<std::uint16_t> &records() const { return listed; }

    // The record a number feeds; -1 for none.
    int recordOfPortAddress(std::uint16_t portAddress) const;
    int recordOfSacnUniverse(std::uint16_t universe) const;

    std::uint16_t portAddressOf(int record) const { return std::uint16_t(artNet + record); }
    std::uint16_t sacnUniverseOf(int record) const { return std::uint16_t(sacn + record); }

    // The numbers of the listed records, ascending.
    std::vector<std::uint16_t> portAddresses() const;
    std::vector<std::uint16_t> sacnUniverses() const;

private:
    std::uint16_t artNet;
    std::uint16_t sacn;
    std::vector<std::uint16_t> listed;
    bool isListed[RecordCount];
};

#endif // UNIVERSEMAP_H
