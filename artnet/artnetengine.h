#ifndef ARTNETENGINE_H
#define ARTNETENGINE_H

#include "artnetpackets.h"
#include "replyratelimiter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QVector>

class QUdpSocket;

// An Art-Net node on one UDP port: drains every datagram that arrives,
// answers ArtPoll with its own ArtPollReply and hands each recognised packet
// on as a signal. The packet passed by a received... signal is a view of the
// engine's receive buffer, valid only during the call.
//
// The answer to an ArtPoll is the node's own ArtPollReply, followed by the
// Art-Net 4 bound replies that subscribe it to its output universes, all to
// the same place; a poll in targeted mode is answered only with the bound
// replies that list a Port-Address in its range, and not at all without one.
// Answers are rate-limited per destination, whole answers only; every ArtPoll
// still raises receivedArtPoll. Bytes a short datagram does not cover read as
// zero. An ArtDmx datagram that ends inside the header is counted and
// dropped, and one that ends before the channel count in its length field is
// handed on with length cut to the channels that arrived.
class ArtNetEngine : public QObject
{
    Q_OBJECT

public:
    // Whole answers to any one destination: controllers poll every 2.5 to 3
    // seconds, and a forged poll stream gets no more than this.
    static constexpr int PollAnswersPerSecond = 1;
    static constexpr int PollAnswerBurst = 3;
    // A port shows data in GoodOutput for this long after its last ArtDmx.
    static constexpr qint64 OutputDataWindowMs = 5000;

    ArtNetEngine(const QHostAddress &address, const quint16 &port, quint8 style, bool autoReply);
    ~ArtNetEngine() override;

    // Binds the port on all local IPv4 interfaces, shared with other sockets
    // that allow it, and enlarges the receive queue, and the send queue to
    // hold the largest answer, as far as the system lets it; false when the
    // port is taken.
    bool start();

    void setShortName(const QString &name);
    void setLongName(const QString &name);
    void setNodeReport(const QString &report);
    void setNetmask(const QString &mask);
    void setAutoReply(bool on);
    const QHostAddress &broadcastAddress() const;
    const ArtPollReply &ownPollReply() const;

    // The Port-Addresses (0-32767) the node outputs; none at construction.
    // Each run of up to four that share a Net and Sub-Net, in ascending
    // order, makes one bound reply, BindIndex 2 for the first and on from
    // there. Repeats are dropped; Port-Addresses above 32767 and any that
    // would need a BindIndex above 255 are left out. Returns how many are
    // advertised.
    int setOutputUniverses(const QVector<quint16> &portAddresses);
    const QVector<quint16> &outputUniverses() const;
    int boundPollReplyCount() const;
    // Bound reply `index` as the next answer carries it: GoodOutput marks
    // the ports that received ArtDmx within OutputDataWindowMs, those that
    // merge two sources, and LTP as the merge mode where it is.
    ArtPollReply boundPollReply(int index) const;
    void setOutputMerging(quint16 portAddress, bool merging);
    void setMergeLtp(bool ltp);

    // ArtDmx datagrams too short for the header, dropped.
    quint64 shortArtDmxCount() const;

    // The socket's receive buffer as granted by the system; 0 before start().
    qint64 receiveBufferSize() const;

signals:
    void sendDebugMessage(QString message);
    void receivedArtPoll(const ArtPoll &packet, const QHostAddress &peer, const quint16 &port);
    void receivedArtPollReply(const ArtPollReply &packet, const QHostAddress &peer, const quint16 &port);
    void receivedArtDmx(const ArtDmx &packet, const QHostAddress &peer, const quint16 &port);
    // An ArtDmx too short for its header, dropped.
    void droppedShortArtDmx(const QHostAddress &peer, const quint16 &port);

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
    void answerPoll(qint64 size);
    bool answersTarget(int reply, quint16 bottom, quint16 top) const;
    int outputIndex(quint16 portAddress) const;
    void enlargeSendBuffer();

    QHostAddress address;
    QHostAddress netmask;
    quint16 port;
    QUdpSocket *socket;
    QHostAddress broadcast;
    bool autoReply;
    ArtPollReply pollReply;
    ArtPoll poll;

    // One buffer for every datagram. It takes the largest UDP payload whole,
    // although only the first 530 bytes, the largest record, count: Winsock
    // fails the read of a datagram longer than the buffer, and the datagram
    // would be lost instead of cut.
    static constexpr int ReceiveBufferSize = 65536;
    union ReceiveBuffer {
        char bytes[ReceiveBufferSize];
        ArtPoll poll;
        ArtPollReply pollReply;
        ArtDmx dmx;
    };
    ReceiveBuffer received;
    QHostAddress sender;
    quint16 senderPort;
    ReplyRateLimiter replyLimiter;
    QElapsedTimer clock;

    QVector<quint16> outputs;     // ascending
    QVector<qint64> outputDataMs; // last ArtDmx for each output on `clock`; -1 for none yet
    QVector<bool> outputMerging;
    QVector<int> replyStarts;     // the first output of each bound reply
    bool mergeLtp = false;
    quint64 shortArtDmx = 0;
};

#endif // ARTNETENGINE_H
