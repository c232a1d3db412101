#ifndef INTERFACENETMASK_H
#define INTERFACENETMASK_H

// The subnet mask of the chosen address, as the interface that holds it has
// it. The node answers controllers on its subnet's broadcast address, and a
// fixed 255.0.0.0 only fits /8 networks: 192.168.1.10/24 would answer to
// 192.255.255.255, where no host of its network listens.

#include <QHostAddress>

namespace InterfaceNetmask {

// The mask of the first interface address equal to `address`; a null address
// when no interface holds it (an address stored on another network, none at all).
QHostAddress of(const QHostAddress &address);

} // namespace InterfaceNetmask

#endif // INTERFACENETMASK_H
