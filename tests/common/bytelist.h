#ifndef BYTELIST_H
#define BYTELIST_H

// Bytes written as numbers, for datagrams spelt out field by field.

#include <QByteArray>

#include <initializer_list>

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

#endif // BYTELIST_H
