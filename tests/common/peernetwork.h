#ifndef PEERNETWORK_H
#define PEERNETWORK_H

// A second network namespace joined to the test's own by a veth pair, for
// tests that send multicast or broadcast: such traffic may leave only inside
// namespaces the test made itself. It refuses to build anything unless the
// test's own namespace is private (made by cmake/isolated.sh): not the
// system's, and with no interfaces but loopback and those it made itself.
//
// Both ends are up, carry the addresses given (CIDR, e.g. "192.168.77.2/24"
// here and "192.168.77.1/24" in the peer) and route 224.0.0.0/4, so that
// multicast sent or joined without naming an interface goes over the pair.
// Sockets bound through bindInPeer() live in the peer namespace. Needs
// CAP_SYS_ADMIN and CAP_NET_ADMIN in the namespace (root, or mapped root)
// and the ip command. Linux only.

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

class QUdpSocket;

class PeerNetwork
{
public:
    // The peer's end carries `morePeerCidrs` too: several hosts behind one link.
    PeerNetwork(const QString &localCidr, const QString &peerCidr, const QStringList &morePeerCidrs = {});
    ~PeerNetwork();
    PeerNetwork(const PeerNetwork &) = delete;
    PeerNetwork &operator=(const PeerNetwork &) = delete;

    // False, with the reason in error(), when anything was refused or failed.
    bool isReady() const;
    const QString &error() const;
    // The name of this namespace's end.
    const QString &localInterface() const;

    // Binds `socket` in the peer namespace, where it stays.
    bool bindInPeer(QUdpSocket &socket, const QHostAddress &address, quint16 port = 0);

private:
    bool fail(const QString &why);
    bool ownNamespaceIsPrivate();
    bool enterPeer();
    void leavePeer();
    bool ip(const QStringList &arguments);
    bool ipAll(const QList<QStringList> &commands);

    QString localName;
    QString peerName;
    int ownNamespace;
    int peerNamespace;
    bool linked;
    QString problem;
};

#endif // PEERNETWORK_H
