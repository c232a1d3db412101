#ifndef SACNRECEIVER_H
#define SACNRECEIVER_H

#include "sacnmerger.h"
#include "sacnpackets.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QVector>

#include <memory>

class MulticastMembership;

// Data that arrived and was not taken, and who sent it.
struct SacnRefusal
{
    enum class Why : quint8 { NotListed, SourceLimit, Malformed };
    Why why;
    quint16 universe; // 0 where the datagram did not tell
    quint32 sender;   // IPv4, host order
    quint16 port;
};
class QTimer;
class QUdpSocket;

// An sACN (E1.31) receiver on one UDP port of all local IPv4 interfaces: it
// takes unicast and the multicast groups of the universes it listens to,
// joined on the interface of the given local address, or where the system
// routes them when that address is null or on no interface. Every level
// packet that SacnMerger takes is one receivedLevels signal, winning or
// outranked, whose levels are valid during the call. A line on the debug
// output tells of every source that appears or leaves.
class SacnReceiver : public QObject
{
    Q_OBJECT

public:
    // Silent sources leave within this much of SacnMerger::NetworkDataLossMs.
    static constexpr int ExpiryIntervalMs = 250;

    struct Counters
    {
        quint64 datagrams = 0;
        quint64 parsed[Sacn::ParsedKinds] = {};      // every datagram by what it is
        quint64 outcomes[SacnMerger::Outcomes] = {}; // every data packet by what became of it

        quint64 operator[](Sacn::Parsed kind) const { return parsed[int(kind)]; }
        quint64 operator[](SacnMerger::Outcome outcome) const { return outcomes[int(outcome)]; }
        quint64 malformed() const;
    };

    SacnReceiver(const QHostAddress &address, quint16 port, QObject *parent = nullptr);
    ~SacnReceiver() override;

    // Universes 1-63999, at most SacnMerger::MaxUniverses; none at
    // construction. Forgets every source and, once started, joins the
    // groups anew.
    void setUniverses(const QVector<quint16> &universes);

    // Binds the port, shared with other sockets that allow it, and joins the
    // groups; false when the port is taken.
    bool start();

    int joinedGroups() const;
    // Sockets that hold group memberships, the receiving one included.
    int membershipSockets() const;
    int sourceCount(quint16 universe) const;
    const Counters &counters() const;

signals:
    void receivedLevels(const SacnLevels &levels);
    // A data packet of a universe not listed or past the source limits, or a
    // malformed datagram.
    void refusedData(const SacnRefusal &refusal);

private slots:
    void processPendingDatagrams();
    void expireSources();

private:
    void joinGroups();
    static void reportSource(const SacnMerger::SourceEvent &event);

    const QHostAddress address;
    const quint16 port;
    QUdpSocket *socket;
    QTimer *expiry;
    std::unique_ptr<MulticastMembership> membership;
    SacnMerger merger;
    Counters count;
    QElapsedTimer clock;

    // One buffer for every datagram, large enough for any: Winsock fails the
    // read of a datagram longer than the buffer, which would be lost unseen.
    static constexpr int ReceiveBufferSize = 65536;
    quint8 received[ReceiveBufferSize];
    QHostAddress sender;
    quint16 senderPort = 0;
};

#endif // SACNRECEIVER_H
