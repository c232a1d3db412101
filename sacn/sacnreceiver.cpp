#include "sacnreceiver.h"

#include "multicastmembership.h"

#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>
#include <QUuid>
#include <QVariant>

namespace {

// Like the Art-Net engine's: the receive queue rides out a 100 ms stall of
// the event loop with 256 universes at 44 packets a second, each datagram
// charged up to 2.3 KB by the kernel.
constexpr int WantedReceiveBuffer = (256 * 44 / 10 + 1) * 2304;

const char *changeText(SacnMerger::Change change)
{
    switch (change) {
    case SacnMerger::Change::Appeared:
        return "appeared";
    case SacnMerger::Change::Terminated:
        return "left (terminated)";
    case SacnMerger::Change::TimedOut:
        return "left (timed out)";
    }
    return "";
}

} // namespace

quint64 SacnReceiver::Counters::malformed() const
{
    quint64 sum = 0;
    for (int kind = 0; kind < Sacn::ParsedKinds; ++kind) {
        if (Sacn::isMalformed(Sacn::Parsed(kind)))
            sum += parsed[kind];
    }
    return sum;
}

SacnReceiver::SacnReceiver(const QHostAddress &address, quint16 port, QObject *parent)
    : QObject(parent),
      address(address),
      port(port),
      socket(new QUdpSocket(this)),
      expiry(new QTimer(this))
{
    merger.setSourceListener(reportSource);
    expiry->setInterval(ExpiryIntervalMs);
    connect(expiry, SIGNAL(timeout()), this, SLOT(expireSources()));
    clock.start();
}

SacnReceiver::~SacnReceiver()
{
    // Its groups are left on the socket, which goes after it.
    membership.reset();
}

void SacnReceiver::setUniverses(const QVector<quint16> &universes)
{
    merger.setUniverses(universes);
    if (membership)
        joinGroups();
}

bool SacnReceiver::start()
{
    if (socket->state() == QAbstractSocket::BoundState)
        return true;
    if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), port,
                      QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return false;
    if (socket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt() < WantedReceiveBuffer)
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, WantedReceiveBuffer);
    const auto descriptor = MulticastMembership::Socket(socket->socketDescriptor());
    if (!MulticastMembership::receiveAllGroups(descriptor))
        qDebug("sACN: the socket may miss multicast groups beyond the system's limit per socket");
    connect(socket, SIGNAL(readyRead()), this, SLOT(processPendingDatagrams()));
    expiry->start();
    joinGroups();
    return true;
}

void SacnReceiver::joinGroups()
{
    const bool onInterface = !address.isNull() && QNetworkInterface::allAddresses().contains(address);
    const quint32 interfaceAddress = onInterface ? address.toIPv4Address() : 0;
    // Replacing the memberships leaves the old groups before the joins below.
    membership.reset(
        new MulticastMembership(MulticastMembership::Socket(socket->socketDescriptor()), interfaceAddress));
    const QVector<quint16> &universes = merger.universes();
    for (quint16 universe : universes)
        membership->join(Sacn::multicastGroup(universe));
    if (membership->groupCount() != universes.size())
        qDebug("sACN: joined %d of %d multicast groups on %s (system error %d)", membership->groupCount(),
               int(universes.size()), onInterface ? qPrintable(address.toString()) : "the system's choice",
               membership->error());
}

int SacnReceiver::joinedGroups() const
{
    return membership ? membership->groupCount() : 0;
}

int SacnReceiver::membershipSockets() const
{
    return membership ? 1 + membership->holderCount() : 0;
}

int SacnReceiver::sourceCount(quint16 universe) const
{
    return merger.sourceCount(universe);
}

const SacnReceiver::Counters &SacnReceiver::counters() const
{
    return count;
}

void SacnReceiver::processPendingDatagrams()
{
    while (socket->hasPendingDatagrams()) {
        const qint64 size =
            socket->readDatagram(reinterpret_cast<char *>(received), sizeof received, &sender, &senderPort);
        if (size < 0)
            return;
        ++count.datagrams;
        Sacn::DataPacket packet;
        const Sacn::Parsed parsed = Sacn::parse(received, size, &packet);
        ++count.parsed[int(parsed)];
        if (Sacn::isMalformed(parsed))
            emit refusedData(SacnRefusal{SacnRefusal::Why::Malformed, 0, sender.toIPv4Address(), senderPort});
        if (parsed != Sacn::Parsed::Data)
            continue;
        SacnLevels levels;
        const SacnMerger::Outcome outcome = merger.take(packet, sender.toIPv4Address(), clock.elapsed(), &levels);
        ++count.outcomes[int(outcome)];
        switch (outcome) {
        case SacnMerger::Outcome::Written:
        case SacnMerger::Outcome::NotWinning:
            levels.port = senderPort;
            emit receivedLevels(levels);
            break;
        case SacnMerger::Outcome::NotMapped:
            emit refusedData(
                SacnRefusal{SacnRefusal::Why::NotListed, packet.universe, sender.toIPv4Address(), senderPort});
            break;
        case SacnMerger::Outcome::SourceLimit:
            emit refusedData(
                SacnRefusal{SacnRefusal::Why::SourceLimit, packet.universe, sender.toIPv4Address(), senderPort});
            break;
        default:
            break;
        }
    }
}

void SacnReceiver::expireSources()
{
    merger.expire(clock.elapsed());
}

void SacnReceiver::reportSource(const SacnMerger::SourceEvent &event)
{
    const QString name = QString::fromUtf8(event.sourceName, int(qstrnlen(event.sourceName, Sacn::SourceNameLength)));
    const QUuid cid = QUuid::fromRfc4122(QByteArray::fromRawData(reinterpret_cast<const char *>(event.cid.bytes),
                                                                 Sacn::CidLength));
    qDebug("sACN source %s: \"%s\" CID %s from %s, universe %u, priority %u", changeText(event.change),
           qPrintable(name), qPrintable(cid.toString(QUuid::WithoutBraces)),
           qPrintable(QHostAddress(event.sender).toString()), event.universe, event.priority);
}
