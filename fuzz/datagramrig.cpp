#include "datagramrig.h"

#include "sentinelreply.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUdpSocket>

#include <cstring>

namespace {

const QHostAddress Loopback(QHostAddress::LocalHost);
constexpr int DeliveryTimeoutMs = 5000;

} // namespace

DatagramRig::DatagramRig(quint16 port)
    : port(port),
      node(port),
      sender(new QUdpSocket(this)),
      watcher(SharedArea::Mode::OpenRead),
      started(false),
      sentSerial(0),
      seenSerial(0)
{
    started = node.start() && sender->bind(Loopback, 0);
    connect(&node.engine, SIGNAL(receivedArtPollReply(ArtPollReply,QHostAddress,quint16)), this,
            SLOT(noteReply(ArtPollReply,QHostAddress,quint16)));
}

bool DatagramRig::isReady() const
{
    return started && watcher.isValid();
}

const UniverseDataArea &DatagramRig::area() const
{
    return *watcher.area();
}

bool DatagramRig::deliver(const QByteArray &datagram)
{
    // Datagrams from one socket to another arrive in order on loopback: once
    // the sentinel behind it is seen, the engine has handled the datagram.
    ++sentSerial;
    if (sender->writeDatagram(datagram, Loopback, port) != datagram.size())
        return false;
    if (sender->writeDatagram(SentinelReply::make(sentSerial), Loopback, port) != qint64(sizeof(ArtPollReply)))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (seenSerial != sentSerial && waited.elapsed() < DeliveryTimeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return seenSerial == sentSerial;
}

void DatagramRig::noteReply(const ArtPollReply &packet, const QHostAddress &peer, const quint16 &port)
{
    if (peer != Loopback || port != sender->localPort())
        return;
    quint32 serial = 0;
    if (SentinelReply::read(packet, &serial))
        seenSerial = serial;
}
