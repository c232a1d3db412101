#ifndef SUBSCRIBINGCONTROLLER_H
#define SUBSCRIBINGCONTROLLER_H

// A stand-in for an Art-Net controller that sends ArtDmx only to subscribers,
// as Art-Net 3 and 4 ask of controllers: it polls, gathers the ArtPollReplies
// and unicasts each universe to the nodes whose replies list it as an output
// port, and to nobody when none does. It reads replies from their wire bytes,
// not through the program's records.
//
// It runs in the thread of the node under test and lets that node's event
// loop run while it waits and between batches of ArtDmx.

#include "artnetpackets.h"
#include "datagrams.h"
#include "wirebytes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QMap>
#include <QSignalSpy>
#include <QUdpSocket>

class SubscribingController
{
public:
    // Replies come to the Art-Net port of the address the poll came from.
    SubscribingController(const QHostAddress &address, quint16 port) : address(address), port(port) {}

    bool open()
    {
        return socket.bind(address, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    }

    // Polls `node` and gathers replies until they stop for a moment, at most
    // the 3 seconds a node has to answer. Returns the subscribed universes
    // (Port-Addresses) with the node that asked for each.
    QMap<int, QHostAddress> poll(const QHostAddress &node)
    {
        const QByteArray artPoll = datagram(ArtNet::artPoll(0x01)); // TalkToMe: reply to the poller
        QMap<int, QHostAddress> subscribed;
        QSignalSpy arrived(&socket, SIGNAL(readyRead()));
        socket.writeDatagram(artPoll, node, port);
        const QDeadlineTimer deadline(3000);
        bool any = false;
        while (!deadline.hasExpired() && arrived.wait(any ? 300 : int(qMax<qint64>(1, deadline.remainingTime())))) {
            for (const QByteArray &reply : takeDatagrams(socket)) {
                any = true;
                readReply(reply, &subscribed);
            }
        }
        return subscribed;
    }

    // One full ArtDmx for each subscribed universe, unicast to its node;
    // channel n holds universe + n - 1. Sent in small batches so that the
    // node's queue never overflows. Nodes outside 127/8 get nothing: tests
    // never send beyond this machine.
    void sendToSubscribers(const QMap<int, QHostAddress> &subscribed)
    {
        int sent = 0;
        for (auto it = subscribed.cbegin(); it != subscribed.cend(); ++it) {
            if (it.value().toIPv4Address() >> 24 != 127)
                continue;
            socket.writeDatagram(artDmx(it.key()), it.value(), port);
            if (++sent % 16 == 0)
                QCoreApplication::processEvents();
        }
    }

    // Channel n of universe u carries u + n.
    static QByteArray artDmx(int universe)
    {
        return datagram(ArtNet::artDmx(quint16(universe), ArtNet::DmxChannels, quint8(universe), 1));
    }

private:
    // Bytes 10-13 the node's address, 18 Net, 19 Sub-Net, 174-177 PortTypes
    // (bit 7: output), 190-193 SwOut (the universe in the low nibble).
    static void readReply(const QByteArray &d, QMap<int, QHostAddress> *subscribed)
    {
        if (d.size() < 194 || !d.startsWith(QByteArray("Art-Net\0\x00\x21", 10)))
            return;
        const auto byte = [&](int offset) { return quint8(d.at(offset)); };
        const QHostAddress node(quint32(byte(10)) << 24 | quint32(byte(11)) << 16 | quint32(byte(12)) << 8 | byte(13));
        for (int i = 0; i < 4; ++i) {
            if (byte(174 + i) & 0x80)
                subscribed->insert((byte(18) & 0x7f) << 8 | (byte(19) & 0x0f) << 4 | (byte(190 + i) & 0x0f), node);
        }
    }

    QHostAddress address;
    quint16 port;
    QUdpSocket socket;
};

#endif // SUBSCRIBINGCONTROLLER_H
