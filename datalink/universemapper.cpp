#include "universemapper.h"

#include "artdmxroute.h"

#include <QHostAddress>
#include <QMessageBox>
#include <QtDebug>

#include <atomic>

UniverseMapper::UniverseMapper(QObject *parent)
    : QObject(parent)
{
    // A smaller section of this name is not mapped: writing a whole area
    // into it would run off its end.
    area.attach(SharedArea::Mode::Create);
    if (!area.handle())
        QMessageBox::critical(nullptr, tr("error"), tr("Error creating data link"), QMessageBox::Ok,
                              QMessageBox::NoButton);
    if (!area.isValid())
        QMessageBox::critical(nullptr, tr("error"), tr("Error mapping data link"), QMessageBox::Ok,
                              QMessageBox::NoButton);
}

UniverseMapper::~UniverseMapper() = default;

void UniverseMapper::setRoute(ArtDmxRoute *artDmxRoute)
{
    route = artDmxRoute;
}

void UniverseMapper::processArtDmx(const ArtDmx &packet, const QHostAddress &peer, const quint16 &port)
{
    const quint16 universe = packet.universe;
    const quint16 length = packet.length;
    qDebug("ArtDmx Received: %d : %d\n", universe, length);

    if (route) {
        route->routeArtDmx(packet, peer.toIPv4Address(), port);
        return;
    }
    // Port-Addresses beyond Net 0 have no record; a length beyond the packet's
    // data would read past it and write past the record's channels.
    if (universe < UniverseData::UniverseCount)
        write(universe, packet.data, qMin<int>(length, UniverseData::ChannelCount));
}

void UniverseMapper::write(int record, const quint8 *levels, int length)
{
    if (!area.isValid() || record < 0 || record >= UniverseData::UniverseCount)
        return;
    length = qBound(0, length, UniverseData::ChannelCount);
    // The reader in the other process takes no lock: it relies on the data
    // being in place before the length that announces it, and the count last.
    UniverseRecord &target = area.record(record);
    for (int i = 0; i < length; ++i)
        target.data[i] = levels[i];
    std::atomic_thread_fence(std::memory_order_release);
    target.length = length;
    std::atomic_thread_fence(std::memory_order_release);
    ++target.packetCount;
}
