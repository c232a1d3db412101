#ifndef RECEIVEOPTIONS_H
#define RECEIVEOPTIONS_H

// Everything the receive pipeline is built from, read once from the
// settings group "Network" beside the chosen address "ip":
//
//   universes            the records offered to Art-Net controllers and fed
//                        by sACN: universes 0-255 and inclusive ranges,
//                        e.g. "0-15, 32"; all 256 without the key
//   artnetFirstUniverse  the Art-Net Port-Address of record 0, 0-32512; 0
//   artnetMerge          htp or ltp: two Art-Net sources of a universe merge;
//                        without it the latest ArtDmx wins
//   sacn                 true (the default) or false, which turns sACN off
//   sacnFirstUniverse    the sACN universe of record 0, 1-63744; 1, the
//                        usual sACN 1 = Art-Net 0
//
// A value that cannot be read counts as no value, which is then said on the
// debug output.

#include "artnetmerge.h"
#include "universemap.h"

#include <QHostAddress>
#include <QVector>

class QSettings;

struct ReceiveOptions
{
    static constexpr char UniversesKey[] = "Network/universes";
    static constexpr char ArtNetFirstKey[] = "Network/artnetFirstUniverse";
    static constexpr char ArtNetMergeKey[] = "Network/artnetMerge";
    static constexpr char SacnKey[] = "Network/sacn";
    static constexpr char SacnFirstKey[] = "Network/sacnFirstUniverse";
    static constexpr quint16 LastSacnFirst = 63999 - (UniverseMap::RecordCount - 1);

    QHostAddress address;
    quint16 artNetPort = 6454;
    quint16 sacnPort = 5568;
    QVector<quint16> records; // ascending; all 256 by default
    quint16 artNetFirst = 0;
    ArtNetMerge::Mode artNetMerge = ArtNetMerge::Mode::Latest;
    bool sacn = true;
    quint16 sacnFirst = 1;

    ReceiveOptions();

    UniverseMap universeMap() const;

    static ReceiveOptions read(const QSettings &settings, const QHostAddress &address);
};

#endif // RECEIVEOPTIONS_H
