#ifndef PORTADDRESSES_H
#define PORTADDRESSES_H

// The Port-Addresses first to last, as a node under test is told to offer them.

#include <QVector>

inline QVector<quint16> portAddresses(int first, int last)
{
    QVector<quint16> addresses;
    for (int a = first; a <= last; ++a)
        addresses << quint16(a);
    return addresses;
}

#endif // PORTADDRESSES_H
