#include "artnetengine.h"

#include <QUdpSocket>
#include <QVariant>

#include <cstring>

namespace {

// Poll replies to any one destination: controllers poll every few seconds,
// so this never touches them, yet it caps what a forged poll stream can
// make the node send.
constexpr int RepliesPerSecond = 10;
constexpr int ReplyBurst = 10;

// The receive queue must ride out a 100 ms stall of the event loop at full
// load: 256 universes at 44 frames a second. The kernel charges each queued
// datagram its buffer, not its payload: about 1.3 KB for a 530-byte ArtDmx
// on loopback and up to 2.3 KB from network drivers that use 2 KB buffers.
constexpr qint64 FullLoadPacketsPerSecond = 256 * 44;
constexpr qint64 StallMs = 100;
constexpr qint64 ChargedBytesPerDatagram = 2304;
constexpr qint64 WantedReceiveBuffer =
    (FullLoadPacketsPerSecond * StallMs + 999) / 1000 * ChargedBytesPerDatagram;

constexpr quint8 TalkToMeReplyToSender = 0x01;

} // namespace

ArtNetEngine::ArtNetEngine(const QHostAddress &address, const quint16 &port, quint8 style, bool autoReply)
    : QObject(nullptr),
      socket(new QUdpSocket),
      received(),
      senderPort(0),
      replyLimiter(RepliesPerSecond, ReplyBurst)
{
    this->autoReply = autoReply;
    this->address = address;
    this->port = port;
    netmask.setAddress(QStringLiteral("255.0.0.0"));
    updateBroadcast();
    initPollReply();
    pollReply.style = style;
    initPoll();
    poll.talkToMe = 0;
    clock.start();
}

ArtNetEngine::~ArtNetEngine()
{
    delete socket;
}

bool ArtNetEngine::start()
{
    if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), port, QUdpSocket::ReuseAddressHint))
        return false;
    enlargeReceiveBuffer();
    return static_cast<bool>(connect(socket, SIGNAL(readyRead()), this, SLOT(processPendingDatagrams())));
}

void ArtNetEngine::enlargeReceiveBuffer()
{
    // The system may grant less than asked (Linux caps it at rmem_max); the
    // engine works with whatever it gets.
    if (receiveBufferSize() < WantedReceiveBuffer)
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, int(WantedReceiveBuffer));
}

qint64 ArtNetEngine::receiveBufferSize() const
{
    if (socket->state() != QAbstractSocket::BoundState)
        return 0;
    return socket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toLongLong();
}

void ArtNetEngine::setShortName(const QString &name)
{
    ArtNet::setText(pollReply.shortName, name);
}

void ArtNetEngine::setLongName(const QString &name)
{
    ArtNet::setText(pollReply.longName, name);
}

void ArtNetEngine::setNodeReport(const QString &report)
{
    ArtNet::setText(pollReply.nodeReport, report);
}

void ArtNetEngine::setNetmask(const QString &mask)
{
    netmask.setAddress(mask);
    updateBroadcast();
}

void ArtNetEngine::setAutoReply(bool on)
{
    autoReply = on;
}

const QHostAddress &ArtNetEngine::broadcastAddress() const
{
    return broadcast;
}

const ArtPollReply &ArtNetEngine::ownPollReply() const
{
    return pollReply;
}

void ArtNetEngine::updateBroadcast()
{
    const quint32 local = address.toIPv4Address();
    const quint32 mask = netmask.toIPv4Address();
    broadcast.setAddress((local & mask) | ~mask);
}

void ArtNetEngine::initPollReply()
{
    std::memset(&pollReply, 0, sizeof pollReply);
    std::memcpy(pollReply.id, ArtNet::Id, sizeof ArtNet::Id);
    pollReply.opCode = ArtNet::OpPollReply;
    qToBigEndian(address.toIPv4Address(), pollReply.ipAddress);
    pollReply.port = port;
    pollReply.versionInfo = 0;
    pollReply.subSwitch = 0;
    pollReply.oem = ArtNet::Oem;
    ArtNet::setText(pollReply.shortName, QStringLiteral("Veldara ArtNet"));
    ArtNet::setText(pollReply.longName, QStringLiteral("Veldara ArtNet Engine"));
}

void ArtNetEngine::initPoll()
{
    std::memset(&poll, 0, sizeof poll);
    std::memcpy(poll.id, ArtNet::Id, sizeof ArtNet::Id);
    poll.opCode = ArtNet::OpPoll;
    poll.protocolVersion = ArtNet::ProtocolVersion;
}

void ArtNetEngine::send(const void *record, qint64 size, const QHostAddress &host)
{
    socket->writeDatagram(static_cast<const char *>(record), size, host.isNull() ? broadcast : host, port);
}

void ArtNetEngine::sendArtPoll(const ArtPoll &packet, const QHostAddress &host)
{
    send(&packet, sizeof packet, host);
}

void ArtNetEngine::sendArtPoll(const QHostAddress &host, bool talkToMe)
{
    if (talkToMe)
        poll.talkToMe |= TalkToMeReplyToSender;
    else
        poll.talkToMe &= quint8(~TalkToMeReplyToSender);
    send(&poll, sizeof poll, host);
}

void ArtNetEngine::sendArtDmx(const ArtDmx &packet, const QHostAddress &host)
{
    send(&packet, sizeof packet, host);
}

void ArtNetEngine::sendArtPollReply(const ArtPollReply &packet, const QHostAddress &host)
{
    send(&packet, sizeof packet, host);
}

void ArtNetEngine::processPendingDatagrams()
{
    while (socket->hasPendingDatagrams()) {
        const qint64 size = socket->readDatagram(received.bytes, sizeof received.bytes, &sender, &senderPort);
        if (size < 0)
            return;
        // Whatever a short datagram does not cover reads as zero, never as
        // the previous datagram's bytes.
        std::memset(received.bytes + size, 0, sizeof received.bytes - size);

        switch (ArtNet::recordOpCode(received.bytes, size)) {
        case ArtNet::OpPoll:
            answerPoll();
            emit receivedArtPoll(received.poll, sender, senderPort);
            break;
        case ArtNet::OpPollReply:
            emit receivedArtPollReply(received.pollReply, sender, senderPort);
            break;
        case ArtNet::OpDmx: {
            // Receivers trust length; it must not promise channels the
            // datagram did not carry.
            const quint16 arrived = quint16(qMax<qint64>(0, size - ArtNet::DmxHeaderSize));
            if (received.dmx.length > arrived)
                received.dmx.length = arrived;
            emit receivedArtDmx(received.dmx, sender, senderPort);
            break;
        }
        default:
            break;
        }
    }
}

void ArtNetEngine::answerPoll()
{
    if (!autoReply)
        return;
    const QHostAddress &target = (received.poll.talkToMe & TalkToMeReplyToSender) ? sender : broadcast;
    const QHostAddress &destination = target.isNull() ? broadcast : target;
    if (replyLimiter.allow(destination.toIPv4Address(), clock.elapsed()))
        sendArtPollReply(pollReply, target);
}
