#ifndef UNIVERSEMAPPER_H
#define UNIVERSEMAPPER_H

#include "artnetpackets.h"
#include "sacnmerger.h"
#include "sharedsection.h"
#include "universedataarea.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QHostAddress;

// The one writer of the shared universe data area: creates and maps it on
// construction and copies every ArtDmx it is handed into its universe's
// record. Merged sACN levels are written the same way, except into a record
// that Art-Net is feeding: every ArtDmx is written, and for ArtNetHoldMs after
// the last one sACN leaves that record alone.
class UniverseMapper : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 ArtNetHoldMs = 2500;
    // Milliseconds on a clock that never goes back.
    using Clock = std::function<qint64()>;

    explicit UniverseMapper(QObject *parent);
    ~UniverseMapper() override;

    // The clock the Art-Net hold is measured on; a monotonic one of its own
    // unless set.
    void setClock(Clock clock);

public slots:
    void processArtDmx(const ArtDmx &packet, const QHostAddress &peer, const quint16 &port);
    void processSacnLevels(const SacnLevels &levels);

private:
    void write(int universe, const quint8 *data, int length);

    SharedSection::Handle fileMapping;
    UniverseDataArea *view;
    QElapsedTimer elapsed;
    Clock now;
    // When each record last took an ArtDmx on `now`; none yet is far enough
    // back that sACN may write at once.
    qint64 lastArtDmxMs[UniverseData::UniverseCount];
};

#endif // UNIVERSEMAPPER_H
