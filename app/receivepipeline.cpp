#include "receivepipeline.h"

#include "artnetengine.h"
#include "interfacenetmask.h"
#include "sacnreceiver.h"
#include "statepublisher.h"
#include "universemapper.h"

static_assert(UniverseMap::RecordCount == UniverseData::UniverseCount, "one record of the map for each of the area");

#include <QTimer>

namespace {

constexpr quint8 NodeStyle = 6;

QVector<quint16> toVector(const std::vector<std::uint16_t> &numbers)
{
    return QVector<quint16>(numbers.cbegin(), numbers.cend());
}

} // namespace

ReceivePipeline::ReceivePipeline(const ReceiveOptions &options, QObject *parent)
    : QObject(parent),
      settings(options),
      map(options.universeMap()),
      artNet(new ArtNetEngine(options.address, options.artNetPort, NodeStyle, true)),
      records(options.artNetMerge,
              [this](int record, const std::uint8_t *levels, int length) {
                  if (areaWriter)
                      areaWriter->write(record, levels, length);
              }),
      expiry(new QTimer(this))
{
    elapsed.start();
    now = [this] { return elapsed.elapsed(); };

    // Replies go to the broadcast address of the address's own subnet, which
    // every controller on it hears; without an interface for the address the
    // engine keeps its 255.0.0.0.
    const QHostAddress netmask = InterfaceNetmask::of(options.address);
    if (!netmask.isNull())
        artNet->setNetmask(netmask.toString());
    qDebug("ArtNet replies to broadcast address %s", qPrintable(artNet->broadcastAddress().toString()));
    // Controllers that send only to subscribers learn from these which
    // universes to send here.
    artNet->setOutputUniverses(toVector(map.portAddresses()));
    artNet->setMergeLtp(options.artNetMerge == ArtNetMerge::Mode::Ltp);
    records.setMergeListener([this](int record, bool merging) {
        artNet->setOutputMerging(map.portAddressOf(record), merging);
    });

    connect(artNet, SIGNAL(droppedShortArtDmx(const QHostAddress &, const quint16 &)), this,
            SLOT(processShortArtDmx(const QHostAddress &, const quint16 &)));

    expiry->setInterval(ExpiryIntervalMs);
    connect(expiry, SIGNAL(timeout()), this, SLOT(expire()));
    expiry->start();
}

ReceivePipeline::~ReceivePipeline()
{
    // The area is unmapped and both ports are free once the pipeline is gone;
    // monitors learn first that the program has ended.
    delete publisher;
    delete areaWriter;
    delete sacn;
    delete artNet;
}

void ReceivePipeline::setClock(Clock clock)
{
    now = std::move(clock);
}

bool ReceivePipeline::startArtNet()
{
    artNetRunning = artNet->start();
    artNetError = artNetRunning ? QString() : portTaken(settings.artNetPort);
    return artNetRunning;
}

UniverseMapper *ReceivePipeline::linkArea(QObject *parent)
{
    areaWriter = new UniverseMapper(parent);
    areaWriter->setRoute(this);
    connect(artNet, SIGNAL(receivedArtDmx(const ArtDmx &, const QHostAddress &, const quint16 &)), areaWriter,
            SLOT(processArtDmx(const ArtDmx &, const QHostAddress &, const quint16 &)));
    return areaWriter;
}

bool ReceivePipeline::startSacn()
{
    if (!settings.sacn)
        return false;
    sacn = new SacnReceiver(settings.address, settings.sacnPort);
    sacn->setUniverses(toVector(map.sacnUniverses()));
    connect(sacn, SIGNAL(receivedLevels(const SacnLevels &)), this, SLOT(processSacnLevels(const SacnLevels &)));
    connect(sacn, SIGNAL(refusedData(const SacnRefusal &)), this, SLOT(processSacnRefusal(const SacnRefusal &)));
    sacnRunning = sacn->start();
    sacnError = sacnRunning ? QString() : portTaken(settings.sacnPort);
    return sacnRunning;
}

QString ReceivePipeline::portTaken(quint16 port)
{
    // Both ports are shared with any socket that allows it: a bind fails only
    // where another program keeps the port to itself.
    return tr("UDP port %1 is in use by another program").arg(port);
}

bool ReceivePipeline::publishState()
{
    if (!publisher)
        publisher = new StatePublisher(*this);
    return publisher->isValid();
}

void ReceivePipeline::routeArtDmx(const ArtDmx &packet, quint32 sender, quint16 port)
{
    const quint16 portAddress = packet.universe;
    const int record = map.recordOfPortAddress(portAddress);
    const FrameOrigin origin{Protocol::ArtNet, sender, port, portAddress, nullptr, nullptr, 0};
    if (record < 0) {
        records.noteUnreached(UnreachedLog::Reason::PortAddressUnmapped, origin, now());
        return;
    }
    const int length = qMin<int>(packet.length, ArtNet::DmxChannels);
    records.take(ReceiveFrame{record, packet.data, length, origin, HeldBack::No}, now());
}

void ReceivePipeline::processSacnLevels(const SacnLevels &levels)
{
    const int record = map.recordOfSacnUniverse(levels.universe);
    if (record < 0)
        return;
    const FrameOrigin origin{Protocol::Sacn,      levels.sender, levels.port, levels.universe, levels.cid->bytes,
                             levels.sourceName, levels.priority};
    records.take(ReceiveFrame{record, levels.levels, levels.length, origin,
                              levels.winning ? HeldBack::No : HeldBack::Outranked},
                 now());
}

void ReceivePipeline::processSacnRefusal(const SacnRefusal &refusal)
{
    static constexpr UnreachedLog::Reason Reasons[] = {UnreachedLog::Reason::SacnUniverseUnmapped,
                                                       UnreachedLog::Reason::SourceLimit,
                                                       UnreachedLog::Reason::Malformed};
    const FrameOrigin origin{Protocol::Sacn, refusal.sender, refusal.port, refusal.universe, nullptr, nullptr, 0};
    records.noteUnreached(Reasons[int(refusal.why)], origin, now());
}

void ReceivePipeline::processShortArtDmx(const QHostAddress &peer, const quint16 &port)
{
    const FrameOrigin origin{Protocol::ArtNet, peer.toIPv4Address(), port, 0, nullptr, nullptr, 0};
    records.noteUnreached(UnreachedLog::Reason::Malformed, origin, now());
}

void ReceivePipeline::expire()
{
    records.expire(now());
}
