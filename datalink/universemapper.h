#ifndef UNIVERSEMAPPER_H
#define UNIVERSEMAPPER_H

#include "artnetpackets.h"
#include "sharedsection.h"
#include "universedataarea.h"

#include <QObject>

class QHostAddress;

// The one writer of the shared universe data area: creates and maps it on
// construction and copies every ArtDmx it is handed into its universe's record.
class UniverseMapper : public QObject
{
    Q_OBJECT

public:
    explicit UniverseMapper(QObject *parent);
    ~UniverseMapper() override;

public slots:
    void processArtDmx(const ArtDmx &packet, const QHostAddress &peer, const quint16 &port);

private:
    SharedSection::Handle fileMapping;
    UniverseDataArea *view;
};

#endif // UNIVERSEMAPPER_H
