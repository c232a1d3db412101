#ifndef SACNBYTES_H
#define SACNBYTES_H

// One valid E1.31 data packet spelt out byte by byte, apart from the
// receiver's own records, for tests that check or alter fields at their wire
// offsets.

#include "bytelist.h"

#include <QByteArray>

struct SacnBytes
{
    QByteArray cid = QByteArray(16, '\x5A');
    QByteArray sourceName = "test console";
    int priority = 100;
    int sequence = 1;
    int options = 0;
    int universe = 1;
    int startCode = 0;
    QByteArray levels = bytes({10, 20, 30, 40});

    QByteArray datagram() const
    {
        const int values = int(levels.size()) + 1; // the start code and the slots
        const int size = 125 + values;
        const int root = size - 16, framing = size - 38, dmp = size - 115;
        QByteArray d;
        d += bytes({0x00, 0x10});                                   // preamble size
        d += bytes({0x00, 0x00});                                   // postamble size
        d += QByteArray("ASC-E1.17\0\0\0", 12);                     // packet identifier
        d += bytes({0x70 | root >> 8, root & 0xFF});                // root flags and length
        d += bytes({0x00, 0x00, 0x00, 0x04});                       // root vector: data
        d += cid;                                                   // CID
        d += bytes({0x70 | framing >> 8, framing & 0xFF});          // framing flags and length
        d += bytes({0x00, 0x00, 0x00, 0x02});                       // framing vector: data packet
        d += sourceName.leftJustified(64, '\0', true);              // source name
        d += char(priority);                                        // priority
        d += bytes({0x00, 0x00});                                   // synchronisation address
        d += char(sequence);                                        // sequence number
        d += char(options);                                         // options
        d += bytes({universe >> 8, universe & 0xFF});               // universe
        d += bytes({0x70 | dmp >> 8, dmp & 0xFF});                  // DMP flags and length
        d += char(0x02);                                            // DMP vector: set property
        d += char(0xA1);                                            // address and data type
        d += bytes({0x00, 0x00});                                   // first property address
        d += bytes({0x00, 0x01});                                   // address increment
        d += bytes({values >> 8, values & 0xFF});                   // property value count
        d += char(startCode);                                       // start code
        d += levels;                                                // slots
        return d;
    }
};

#endif // SACNBYTES_H
