#ifndef LOOPBACKHOST_H
#define LOOPBACKHOST_H

// Host `n` of 127.0.0.0/8 as a host-order IPv4 address: the only network the
// tests may send to.

#include <QtGlobal>

constexpr quint32 loopbackHost(quint8 n)
{
    return 0x7F000000u | n;
}

#endif // LOOPBACKHOST_H
