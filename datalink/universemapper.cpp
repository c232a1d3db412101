#include "universemapper.h"

#include <QMessageBox>
#include <QtDebug>

#include <atomic>

UniverseMapper::UniverseMapper(QObject *parent)
    : QObject(parent),
      fileMapping(SharedSection::create(UniverseData::SectionName, UniverseData::AreaSize)),
      view(nullptr)
{
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

void UniverseMapper::processArtDmx(const ArtDmx &packet, const QHostAddress &peer, const quint16 &port)
{
    Q_UNUSED(peer)
    Q_UNUSED(port)

    const quint16 universe = packet.universe;
    const quint16 length = packet.length;
    qDebug("ArtDmx Received: %d : %d\n", universe, length);

    // Port-Addresses beyond Net 0 have no record; a length beyond the packet's
    // data would read past it and write past the record's channels.
    if (!view || universe >= UniverseData::UniverseCount)
        return;
    const int count = qMin<int>(length, UniverseData::ChannelCount);

    // The reader in the other process takes no lock: it relies on the data
    // being in place before the length that announces it, and the count last.
    UniverseRecord &record = view->universes[universe];
    for (int i = 0; i < count; ++i)
        record.data[i] = packet.data[i];
    std::atomic_thread_fence(std::memory_order_release);
    record.length = count;
    std::atomic_thread_fence(std::memory_order_release);
    ++record.packetCount;
}
