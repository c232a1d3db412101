#ifndef DATAGRAMS_H
#define DATAGRAMS_H

// What arrived on a test's UDP socket, datagram by datagram.

#include <QByteArray>
#include <QList>
#include <QTest>
#include <QUdpSocket>

inline QByteArray takeDatagram(QUdpSocket &socket)
{
    QByteArray d(int(socket.pendingDatagramSize()), '\0');
    socket.readDatagram(d.data(), d.size());
    return d;
}

// Every datagram waiting now, in order of arrival.
inline QList<QByteArray> takeDatagrams(QUdpSocket &socket)
{
    QList<QByteArray> datagrams;
    while (socket.hasPendingDatagrams())
        datagrams << takeDatagram(socket);
    return datagrams;
}

// The next datagram to arrive, waiting for it; empty when none came in time.
inline QByteArray nextDatagram(QUdpSocket &socket)
{
    return QTest::qWaitFor([&] { return socket.hasPendingDatagrams(); }) ? takeDatagram(socket) : QByteArray();
}

#endif // DATAGRAMS_H
