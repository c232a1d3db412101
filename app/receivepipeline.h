#ifndef RECEIVEPIPELINE_H
#define RECEIVEPIPELINE_H

#include "artdmxroute.h"
#include "receiveoptions.h"
#include "recordrouter.h"
#include "universemap.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class ArtNetEngine;
class QTimer;
class SacnReceiver;
class StatePublisher;
class UniverseMapper;
struct SacnLevels;
struct SacnRefusal;

// The whole receive path, built from one options value: the Art-Net node,
// the sACN receiver beside it, the record router between the protocols and
// the area, and the area writer. Each protocol's packets become frames for
// the router here, which is the one place a protocol is wired in. It comes
// up in the program's order: the engine first, then the area and its link to
// the engine, then sACN.
class ReceivePipeline : public QObject, public ArtDmxRoute
{
    Q_OBJECT

public:
    // Milliseconds on a clock that never goes back.
    using Clock = std::function<qint64()>;
    // How often merges that ended and silent sources are looked for.
    static constexpr int ExpiryIntervalMs = 250;

    explicit ReceivePipeline(const ReceiveOptions &options, QObject *parent = nullptr);
    ~ReceivePipeline() override;

    const ReceiveOptions &options() const { return settings; }
    ArtNetEngine *engine() const { return artNet; }
    SacnReceiver *sacnReceiver() const { return sacn; }
    const RecordRouter &router() const { return records; }
    const UniverseMap &universeMap() const { return map; }
    qint64 nowMs() const { return now(); }
    bool artNetBound() const { return artNetRunning; }
    bool sacnBound() const { return sacnRunning; }
    // Why a protocol's port could not be bound; empty while it is.
    const QString &artNetFailure() const { return artNetError; }
    const QString &sacnFailure() const { return sacnError; }

    // The hold, merges and the table of sources are measured on this clock;
    // a monotonic one of its own unless set.
    void setClock(Clock clock);

    bool startArtNet();
    // Creates the area writer as a child of `parent` and hands it the
    // engine's ArtDmx.
    UniverseMapper *linkArea(QObject *parent);
    // Starts the sACN receiver where the options turn it on; false when they
    // do not or its port cannot be bound.
    bool startSacn();

    // Publishes the state of the receive path for monitors from now on;
    // false when the state section cannot be made.
    bool publishState();

    void routeArtDmx(const ArtDmx &packet, quint32 sender, quint16 port) override;

private slots:
    void processSacnLevels(const SacnLevels &levels);
    void processSacnRefusal(const SacnRefusal &refusal);
    void processShortArtDmx(const QHostAddress &peer, const quint16 &port);
    void expire();

private:
    static QString portTaken(quint16 port);

    const ReceiveOptions settings;
    const UniverseMap map;
    ArtNetEngine *artNet;
    UniverseMapper *areaWriter = nullptr;
    SacnReceiver *sacn = nullptr;
    StatePublisher *publisher = nullptr;
    bool artNetRunning = false;
    bool sacnRunning = false;
    QString artNetError;
    QString sacnError;
    RecordRouter records;
    QTimer *expiry;
    QElapsedTimer elapsed;
    Clock now;
};

#endif // RECEIVEPIPELINE_H
