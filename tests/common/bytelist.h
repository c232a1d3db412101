#ifndef BYTELIST_H
#define BYTELIST_H

// Bytes written as numbers, for datagrams spelt out field by field, and runs
// of levels.

#include <QByteArray>

#include <initializer_list>

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// `count` bytes first, first + step, first + 2 * step, ... (modulo 256), as the
// packet builders fill their levels.
inline QByteArray byteRamp(int count, int first, int step = 1)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out.append(char(first + i * step));
    return out;
}

#endif // BYTELIST_H
