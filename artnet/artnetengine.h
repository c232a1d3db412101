#ifndef ARTNETENGINE_H
#define ARTNETENGINE_H

#include "artnetpackets.h"

#include <QHostAddress>
#include <QObject>

class QUdpSocket;

// An Art-Net node on one UDP port: drains every datagram that arrives,
// answers ArtPoll with its own ArtPollReply and hands each recognised packet
// on as a signal. The packet passed by a received... signal is a view of the
// engine's receive buffer, valid only during the call.
class ArtNetEngine : public QObject
{
    Q_OBJECT

public:
    ArtNetEngine(const QHostAddress &address, const quint16 &port, quint8 style, bool autoReply);
    ~ArtNetEngine() override;

    // Binds the port on all local IPv4 interfaces; false when the port is taken.
    bool start();

    void setShortName(const QString &name);
    void setLongName(const QString &name);
    void setNodeReport(const QString &report);
    void setNetmask(const QString &mask);
    void setAutoReply(bool on);
    const QHostAddress &broadcastAddress() const;

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

    QHostAddress address;
    QHostAddress netmask;
    quint16 port;
    QUdpSocket *socket;
    QHostAddress broadcast;
    bool autoReply;
    ArtPollReply pollReply;
    ArtPoll poll;
};

#endif // ARTNETENGINE_H
