#ifndef PROGRAMPROBE_H
#define PROGRAMPROBE_H

// The built program as another node on this machine sees it: the datagrams
// the program tests send it, the check of its ArtPollReply and the titles of
// its windows, shared by the native and the wine test of the program. Built from bytes, not through the
// program's records. The QCOMPARE-based helpers return early on a failure;
// their callers return when QTest::currentTestFailed().

#include "artnetbytes.h"

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

namespace ProgramProbe {

constexpr quint16 ArtNetPort = 6454;

// Window titles as patterns for finding the windows on the display.
const QString MainWindow = QStringLiteral("^Veldara Dorvantis$");
const QString SelectIpDialog = QStringLiteral("^Select IP$");

// An ArtDmx for universe 0-255 carrying `channels`.
inline QByteArray artDmx(quint8 universe, const QByteArray &channels)
{
    return ArtNetBytes::artDmx(universe, quint16(channels.size()), channels);
}

// Polls the program on 127.0.0.1 from the Art-Net port of 127.0.0.2, next
// to the program's wildcard socket, and checks the reply: sent from the
// Art-Net port, saying who answered and where (the address chosen at start).
inline void verifyAnswersPoll(int waitMs, const QHostAddress &node = QHostAddress(QHostAddress::LocalHost))
{
    QUdpSocket poller;
    QVERIFY(poller.bind(QHostAddress(QStringLiteral("127.0.0.2")), ArtNetPort,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    QSignalSpy arrived(&poller, SIGNAL(readyRead()));
    const QByteArray poll = ArtNetBytes::artPoll(0x01);
    QCOMPARE(poller.writeDatagram(poll, QHostAddress(QHostAddress::LocalHost), ArtNetPort), qint64(14));
    QVERIFY(arrived.wait(waitMs));
    const QNetworkDatagram reply = poller.receiveDatagram();
    QCOMPARE(reply.senderPort(), int(ArtNetPort));
    const QByteArray bytes = reply.data();
    QCOMPARE(bytes.size(), 239);
    QCOMPARE(bytes.left(10), QByteArray("Art-Net\0\x00\x21", 10));  // id, ArtPollReply
    QByteArray address(4, '\0'); // first octet first
    qToBigEndian(node.toIPv4Address(), address.data());
    QCOMPARE(bytes.mid(10, 4), address);
    QCOMPARE(bytes.mid(14, 2), QByteArray("\x36\x19", 2));         // port 6454, low byte first
    QCOMPARE(bytes.mid(26, 18), QByteArray("Dorvantis").leftJustified(18, '\0'));
    QCOMPARE(bytes.mid(44, 64), QByteArray("Veldara Dorvantis 1.3").leftJustified(64, '\0'));
    QCOMPARE(int(bytes.at(200)), 6); // style
}

} // namespace ProgramProbe

#endif // PROGRAMPROBE_H
