#ifndef ARTNETBYTES_H
#define ARTNETBYTES_H

// Art-Net datagrams spelt out byte by byte, apart from the program's records,
// as another node sends them.

#include <QByteArray>
#include <QtGlobal>

namespace ArtNetBytes {

// How a packet begins: "Art-Net" and its zero, the opcode low byte first and
// protocol version 14 high byte first.
inline QByteArray header(quint16 opCode)
{
    QByteArray d("Art-Net", 8);
    d += char(opCode & 0xff);
    d += char(opCode >> 8);
    d += '\x00';
    d += '\x0e';
    return d;
}

// An ArtPoll with the given TalkToMe flags; bit 0 asks for the reply at the
// poller, clear at the broadcast address.
inline QByteArray artPoll(quint8 talkToMe)
{
    return header(0x2000) + char(talkToMe) + '\x00'; // priority
}

// An ArtDmx for the Port-Address `universe` whose length field says
// `length`, carrying `channels`, which may be more or fewer bytes than that.
inline QByteArray artDmx(quint16 universe, quint16 length, const QByteArray &channels, quint8 sequence = 0)
{
    QByteArray d = header(0x5000);
    d += char(sequence);
    d += '\x00';                // physical
    d += char(universe & 0xff); // universe, low byte first
    d += char(universe >> 8);
    d += char(length >> 8);     // length, high byte first
    d += char(length & 0xff);
    return d + channels;
}

} // namespace ArtNetBytes

#endif // ARTNETBYTES_H
