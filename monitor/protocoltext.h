#ifndef PROTOCOLTEXT_H
#define PROTOCOLTEXT_H

// How the monitor writes the protocols' numbers and senders.

#include "nodestatelayout.h"

#include <QString>

// Net:Sub-Net:Universe, from bits 14-8, 7-4 and 3-0 of the Port-Address.
inline QString artNetText(quint16 portAddress)
{
    return QStringLiteral("%1:%2:%3 (Port-Address %4)")
        .arg(portAddress >> 8 & 0x7f)
        .arg(portAddress >> 4 & 0x0f)
        .arg(portAddress & 0x0f)
        .arg(portAddress);
}

inline QString protocolName(std::uint8_t protocol)
{
    return protocol == std::uint8_t(NodeState::SourceProtocol::Sacn) ? QStringLiteral("sACN")
                                                                       : QStringLiteral("Art-Net");
}

// Dotted quad of a host-order IPv4 address.
inline QString addressText(std::uint32_t address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg(address >> 16 & 0xff)
        .arg(address >> 8 & 0xff)
        .arg(address & 0xff);
}

// address:port; an unknown sender (address 0) as such.
inline QString senderText(std::uint32_t address, std::uint16_t port)
{
    if (address == 0)
        return QStringLiteral("unknown");
    return QStringLiteral("%1:%2").arg(addressText(address)).arg(port);
}

// How long ago, on the program's clock, in seconds with one decimal.
inline QString agoText(std::int64_t nowMs, std::int64_t thenMs)
{
    return QStringLiteral("%1 s ago").arg(double(nowMs - thenMs) / 1000.0, 0, 'f', 1);
}

#endif // PROTOCOLTEXT_H
