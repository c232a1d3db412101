#include "universemapper.h"

#include <QMessageBox>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <iterator>

UniverseMapper::UniverseMapper(QObject *parent)
    : QObject(parent),
      fileMapping(SharedSection::create(UniverseData::SectionName, UniverseData::AreaSize)),
      view(nullptr)
{
    elapsed.start();
    setClock([this] { return elapsed.elapsed(); });

    if (!fileMapping)
        QMessageBox::critical(nullptr, tr("error"), tr("Error creating data link"), QMessageBox::Ok,
                              QMessageBox::NoButton);

    // Writing a whole area into a smaller section of this name would run off its end.
    view = static_cast<UniverseDataArea *>(
        SharedSection::mapAtLeast(fileMapping, SharedSection::Access::Write, UniverseData::AreaSize));
    if (!view)
        QMessageBox::critical(nullptr, tr("error"), tr("Error mapping data link"), QMessageBox::Ok,
                              QMessageBox::NoButton);
}

UniverseMapper::~UniverseMapper()
{
    SharedSection::unmap(view);
    SharedSection::close(fileMapping);
    fileMapping = nullptr;
    view = nullptr;
}

void UniverseMapper::setClock(Clock clock)
{
    now = std::move(clock);
    std::fill(std::begin(lastArtDmxMs), std::end(lastArtDmxMs), now() - ArtNetHoldMs);
}

void UniverseMapper::processArtDmx(const ArtDmx &packet, const QHostAddress &peer, const quint16 &port)
{
    Q_UNUSED(peer)
    Q_UNUSED(port)

    const quint16 universe = packet.universe;
    const quint16 length = packet.length;
    qDebug("ArtDmx Received: %d : %d\n", universe, length);

    // Port-Addresses beyond Net 0 have no record; a length beyond the packet's
    // data would read past it and write past the record's channels.
    if (universe >= UniverseData::UniverseCount)
        return;
    lastArtDmxMs[universe] = now();
    write(universe, packet.data, qMin<int>(length, UniverseData::ChannelCount));
}

void UniverseMapper::processSacnLevels(const SacnLevels &levels)
{
    if (levels.record >= UniverseData::UniverseCount || now() - lastArtDmxMs[levels.record] < ArtNetHoldMs)
        return;
    write(levels.record, levels.levels, qBound(0, levels.length, UniverseData::ChannelCount));
}

void UniverseMapper::write(int universe, const quint8 *data, int length)
{
    if (!view)
        return;
    // The reader in the other process takes no lock: it relies on the data
    // being in place before the length that announces it, and the count last.
    UniverseRecord &record = view->universes[universe];
    for (int i = 0; i < length; ++i)
        record.data[i] = data[i];
    std::atomic_thread_fence(std::memory_order_release);
    record.length = length;
    std::atomic_thread_fence(std::memory_order_release);
    ++record.packetCount;
}
