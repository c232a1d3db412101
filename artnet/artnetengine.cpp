#include "artnetengine.h"

#include <QUdpSocket>
#include <QVariant>

#include <algorithm>
#include <cstring>

namespace {

// The receive queue must ride out a 100 ms stall of the event loop at full
// load: 256 universes at 44 frames a second. The kernel charges each queued
// datagram its buffer, not its payload: about 1.3 KB for a 530-byte ArtDmx
// on loopback and up to 2.3 KB from network drivers that use 2 KB buffers.
constexpr qint64 FullLoadPacketsPerSecond = 256 * 44;
constexpr qint64 StallMs = 100;
constexpr qint64 ChargedBytesPerDatagram = 2304;
constexpr qint64 WantedReceiveBuffer =
    (FullLoadPacketsPerSecond * StallMs + 999) / 1000 * ChargedBytesPerDatagram;

// The largest answer, the own reply and one bound reply for every BindIndex,
// leaves in one go and must fit the send queue whole: a reply that does not
// fit is dropped, and the controller would miss those universes.
constexpr int MostBoundReplies = ArtNet::LastBindIndex - ArtNet::FirstBindIndex + 1;
constexpr qint64 WantedSendBuffer = (1 + MostBoundReplies) * ChargedBytesPerDatagram;

constexpr quint8 TalkToMeReplyToSender = 0x01;

} // namespace

ArtNetEngine::ArtNetEngine(const QHostAddress &address, const quint16 &port, quint8 style, bool autoReply)
    : QObject(nullptr),
      socket(new QUdpSocket),
      received(),
      senderPort(0),
      replyLimiter(PollAnswersPerSecond, PollAnswerBurst)
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
    enlargeSendBuffer();
    return static_cast<bool>(connect(socket, SIGNAL(readyRead()), this, SLOT(processPendingDatagrams())));
}

void ArtNetEngine::enlargeReceiveBuffer()
{
    // The system may grant less than asked (Linux caps it at rmem_max); the
    // engine works with whatever it gets.
    if (receiveBufferSize() < WantedReceiveBuffer)
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, int(WantedReceiveBuffer));
}

void ArtNetEngine::enlargeSendBuffer()
{
    if (socket->socketOption(QAbstractSocket::SendBufferSizeSocketOption).toLongLong() < WantedSendBuffer)
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(WantedSendBuffer));
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

int ArtNetEngine::setOutputUniverses(const QVector<quint16> &portAddresses)
{
    QVector<quint16> sorted;
    for (quint16 address : portAddresses) {
        if (address <= ArtNet::MaxPortAddress)
            sorted.append(address);
    }
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());

    outputs.clear();
    replyStarts.clear();
    for (quint16 address : sorted) {
        // A new reply for a new Net and Sub-Net, or when this one is full.
        const bool startsReply = outputs.isEmpty() || (address >> 4) != (outputs.last() >> 4)
            || outputs.size() - replyStarts.last() == ArtNet::PortsPerReply;
        if (startsReply) {
            if (replyStarts.size() == MostBoundReplies)
                break;
            replyStarts.append(outputs.size());
        }
        outputs.append(address);
    }
    outputDataMs.fill(-1, outputs.size());
    outputMerging.fill(false, outputs.size());
    return outputs.size();
}

const QVector<quint16> &ArtNetEngine::outputUniverses() const
{
    return outputs;
}

int ArtNetEngine::boundPollReplyCount() const
{
    return replyStarts.size();
}

ArtPollReply ArtNetEngine::boundPollReply(int index) const
{
    const int first = replyStarts.at(index);
    const int end = index + 1 < replyStarts.size() ? replyStarts.at(index + 1) : outputs.size();
    const qint64 now = clock.elapsed();
    quint8 goodOutput[ArtNet::PortsPerReply] = {};
    for (int i = first; i < end; ++i) {
        quint8 &good = goodOutput[i - first];
        if (outputDataMs.at(i) >= 0 && now - outputDataMs.at(i) < OutputDataWindowMs)
            good |= ArtNet::GoodOutputData;
        if (outputMerging.at(i))
            good |= ArtNet::GoodOutputMerging;
        if (mergeLtp)
            good |= ArtNet::GoodOutputMergeLtp;
    }
    return ArtNet::boundPollReply(pollReply, outputs.constData() + first, goodOutput, end - first,
                                  quint8(ArtNet::FirstBindIndex + index));
}

void ArtNetEngine::setOutputMerging(quint16 portAddress, bool merging)
{
    const int index = outputIndex(portAddress);
    if (index >= 0)
        outputMerging[index] = merging;
}

void ArtNetEngine::setMergeLtp(bool ltp)
{
    mergeLtp = ltp;
}

quint64 ArtNetEngine::shortArtDmxCount() const
{
    return shortArtDmx;
}

int ArtNetEngine::outputIndex(quint16 portAddress) const
{
    const auto found = std::lower_bound(outputs.cbegin(), outputs.cend(), portAddress);
    return found != outputs.cend() && *found == portAddress ? int(found - outputs.cbegin()) : -1;
}

void ArtNetEngine::updateBroadcast()
{
    const quint32 local = address.toIPv4Address();
    const quint32 mask = netmask.toIPv4Address();
    broadcast.setAddress((local & mask) | ~mask);
}

void ArtNetEngine::initPollReply()
{
    pollReply = ArtNet::emptyRecord<ArtPollReply>(ArtNet::OpPollReply);
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
    poll = ArtNet::artPoll(0);
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
        const qint64 read = socket->readDatagram(received.bytes, sizeof received.bytes, &sender, &senderPort);
        if (read < 0)
            return;
        // A longer datagram is cut to the largest record. Whatever a short
        // one does not cover reads as zero, never as the previous one's bytes.
        const qint64 size = qMin<qint64>(read, sizeof(ArtDmx));
        std::memset(received.bytes + size, 0, sizeof(ArtDmx) - size);

        switch (ArtNet::recordOpCode(received.bytes, size)) {
        case ArtNet::OpPoll:
            answerPoll(size);
            emit receivedArtPoll(received.poll, sender, senderPort);
            break;
        case ArtNet::OpPollReply:
            emit receivedArtPollReply(received.pollReply, sender, senderPort);
            break;
        case ArtNet::OpDmx: {
            // Without its universe and length, the datagram is no ArtDmx.
            if (size < ArtNet::DmxHeaderSize) {
                ++shortArtDmx;
                emit droppedShortArtDmx(sender, senderPort);
                break;
            }
            // Receivers trust length; it must not promise channels the
            // datagram did not carry.
            const quint16 arrived = quint16(size - ArtNet::DmxHeaderSize);
            if (received.dmx.length > arrived)
                received.dmx.length = arrived;
            const int output = outputs.isEmpty() ? -1 : outputIndex(received.dmx.universe);
            if (output >= 0)
                outputDataMs[output] = clock.elapsed();
            emit receivedArtDmx(received.dmx, sender, senderPort);
            break;
        }
        default:
            break;
        }
    }
}

void ArtNetEngine::answerPoll(qint64 size)
{
    if (!autoReply)
        return;
    quint16 bottom = 0;
    quint16 top = 0;
    const bool targeted = ArtNet::pollTarget(received.bytes, size, &bottom, &top);
    if (targeted) {
        int reply = 0;
        while (reply < replyStarts.size() && !answersTarget(reply, bottom, top))
            ++reply;
        if (reply == replyStarts.size())
            return;
    }
    const QHostAddress &target = (received.poll.talkToMe & TalkToMeReplyToSender) ? sender : broadcast;
    const QHostAddress &destination = target.isNull() ? broadcast : target;
    // One token buys the whole answer, so a destination gets complete
    // answers or none.
    if (!replyLimiter.allow(destination.toIPv4Address(), clock.elapsed()))
        return;
    sendArtPollReply(pollReply, target);
    for (int i = 0; i < replyStarts.size(); ++i) {
        if (targeted && !answersTarget(i, bottom, top))
            continue;
        const ArtPollReply reply = boundPollReply(i);
        sendArtPollReply(reply, target);
    }
}

bool ArtNetEngine::answersTarget(int reply, quint16 bottom, quint16 top) const
{
    const int end = reply + 1 < replyStarts.size() ? replyStarts.at(reply + 1) : outputs.size();
    for (int i = replyStarts.at(reply); i < end; ++i) {
        if (outputs.at(i) >= bottom && outputs.at(i) <= top)
            return true;
    }
    return false;
}
