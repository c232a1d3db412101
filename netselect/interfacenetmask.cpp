#include "interfacenetmask.h"

#include <QNetworkAddressEntry>
#include <QNetworkInterface>

namespace InterfaceNetmask {

QHostAddress of(const QHostAddress &address)
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return QHostAddress();
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().isEqual(address, QHostAddress::StrictConversion) && !entry.netmask().isNull())
                return entry.netmask();
        }
    }
    return QHostAddress();
}

} // namespace InterfaceNetmask
