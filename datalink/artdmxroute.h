#ifndef ARTDMXROUTE_H
#define ARTDMXROUTE_H

#include "artnetpackets.h"

// Decides for the area writer which record an ArtDmx feeds and what is
// written there, calling UniverseMapper::write for it.
class ArtDmxRoute
{
public:
    virtual ~ArtDmxRoute() = default;
    // `packet` is a view valid during the call; `sender` is IPv4, host order.
    virtual void routeArtDmx(const ArtDmx &packet, quint32 sender, quint16 port) = 0;
};

#endif // ARTDMXROUTE_H
