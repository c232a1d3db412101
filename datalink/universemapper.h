#ifndef UNIVERSEMAPPER_H
#define UNIVERSEMAPPER_H

#include "artnetpackets.h"
#include "sharedarea.h"

#include <QObject>

class ArtDmxRoute;
class QHostAddress;

// The one writer of the shared universe data area: creates and maps it on
// construction and writes levels into its records. Every ArtDmx it is handed
// goes to its route, which decides where it lands; without one, each is
// written into the record of its universe.
class UniverseMapper : public QObject
{
    Q_OBJECT

public:
    explicit UniverseMapper(QObject *parent);
    ~UniverseMapper() override;

    void setRoute(ArtDmxRoute *route);

    // Writes the first `length` levels (up to 512) into `record`, then the
    // length, then counts the packet; nothing without a mapped area or for
    // a record beyond the area.
    void write(int record, const quint8 *levels, int length);

public slots:
    void processArtDmx(const ArtDmx &packet, const QHostAddress &peer, const quint16 &port);

private:
    SharedArea area;
    ArtDmxRoute *route = nullptr;
};

#endif // UNIVERSEMAPPER_H
