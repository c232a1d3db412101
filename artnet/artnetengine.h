#ifndef ARTNETENGINE_H
#define ARTNETENGINE_H

#include "artnetpackets.h"
#include "replyratelimiter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>

class QUdpSocket;

// An Art-Net node on one UDP port: drains every datagram that arrives,
// answers ArtPoll with its own ArtPollReply and hands each recognised packet
// on as a signal. The packet passed by a received... signal is a view of the
// engine's receive buffer, valid only during the call.
//
// Automatic poll replies are rate-limited per destination; every ArtPoll
// still raises receivedArtPoll. Bytes a short datagram does not cover read
// as zero, and an ArtDmx whose datagram ends before the channel count in its
// length field is handed on with length cut to the channels that arrived.
class ArtNetEngine : public QObject
{
    Q_OBJECT

public:
    ArtNetEngine(const QHostAddress &address, const quint16 &port, quint8 style, bool autoReply);
    ~ArtNetEngine() override;

    // Binds the port on all local IPv4 interfaces, shared with other sockets
    // that allow it, and enlarges the receive queue as far as the system
    // lets it; false when the port is taken.
    bool start();

    void setShortName(const QString &name);
    void setLongName(const QString &name);
    void setNodeReport(const QString &report);
    void setNetmask(const QString &mask);
    void setAutoReply(bool on);
    const QHostAddress &broadcastAddress() const;
    const ArtPollReply &ownPollReply() const;
    // The socket's receive buffer as granted by the system; 0 before start().
    qint64 receiveBufferSize() const;

signals:
    void sendDebugMessage(QString message);
    void receivedArtPoll(const ArtPoll &packet, const QHostAddress &peer, const quint16 &port);
    void receivedArtPollReply(const ArtPollReply &packet, const QHostAddress &peer, const quint16 &port);
    void receivedArtDmx(const ArtDmx &packet, const QHostAddress &peer, const quint16 &port);

public slots:
    // A null host sends to the broadcast address; the port is always the engine's.
    void sendArtPoll(const ArtPoll &packet, const QHostAddress &host);
    void sendArtPoll(const QHostAddress &host, bool talkToMe);
    void sendArtDmx(const ArtDmx &packet, const QHostAddress &host);
    void sendArtPollReply(const ArtPollReply &packet, const QHostAddress &host);

private slots:
    void processPendingDatagrams();

private:
    void updateBroadcast();
    void initPollReply();
    void initPoll();
    void send(const void *record, qint64 size, const QHostAddress &host);
    void enlargeReceiveBuffer();
    void answerPoll();

    QHostAddress address;
    QHostAddress netmask;
    quint16 port;
    QUdpSocket *socket;
    QHostAddress broadcast;
    bool autoReply;
    ArtPollReply pollReply;
    ArtPoll poll;

    // One buffer for every datagram, sized for the largest record.
    union ReceiveBuffer {
        char bytes[sizeof(ArtDmx)];
        ArtPoll poll;
        ArtPollReply pollReply;
        ArtDmx dmx;
    };
    ReceiveBuffer received;
    QHostAddress sender;
    quint16 senderPort;
    ReplyRateLimiter replyLimiter;
    QElapsedTimer clock;
};

#endif // ARTNETENGINE_H
