#ifndef DATAGRAMRIG_H
#define DATAGRAMRIG_H

// The program's receive path on loopback: an Art-Net engine on 127.0.0.1
// whose ArtDmx go straight to the universe mapper, as the main window wires
// them, and a sender that hands it one datagram at a time. deliver() returns
// only once the engine has handled the datagram, so the caller can examine
// the universe data area after every single one.

#include "loopbacknode.h"
#include "sharedarea.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

class QUdpSocket;

class DatagramRig : public QObject
{
    Q_OBJECT

public:
    explicit DatagramRig(quint16 port);

    // False when the port could not be bound or the area not be created.
    bool isReady() const;
    // Sends the datagram and waits until the engine has read it; false when
    // that did not happen in time.
    bool deliver(const QByteArray &datagram);
    // The area as a second holder sees it.
    const UniverseDataArea &area() const;

private slots:
    void noteReply(const ArtPollReply &packet, const QHostAddress &peer, const quint16 &port);

private:

    const quint16 port;
    LoopbackNode node;
    QUdpSocket *sender;
    SharedArea watcher; // read-only, opened once the mapper has created the area
    bool started;
    quint32 sentSerial;
    quint32 seenSerial;
};

#endif // DATAGRAMRIG_H
