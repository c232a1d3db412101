#include "peernetwork.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QStringList>
#include <QUdpSocket>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

// The interfaces that PeerNetworks of this process made, which the next one
// may find beside loopback.
QStringList &madeHere()
{
    static QStringList names;
    return names;
}

int openNamespace()
{
    return open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
}

} // namespace

PeerNetwork::PeerNetwork(const QString &localCidr, const QString &peerCidr, const QStringList &morePeerCidrs)
    : ownNamespace(-1),
      peerNamespace(-1),
      linked(false)
{
    static int made = 0;
    localName = QStringLiteral("peer%1a").arg(made);
    peerName = QStringLiteral("peer%1b").arg(made);
    ++made;
    if (!ownNamespaceIsPrivate())
        return;
    ownNamespace = openNamespace();
    if (ownNamespace < 0 || unshare(CLONE_NEWNET) != 0) {
        fail(QStringLiteral("cannot make a network namespace: %1").arg(qt_error_string(errno)));
        return;
    }
    peerNamespace = openNamespace();
    leavePeer();
    if (peerNamespace < 0) {
        fail(QStringLiteral("cannot hold the peer namespace: %1").arg(qt_error_string(errno)));
        return;
    }
    linked = ip({"link", "add", localName, "type", "veth", "peer", "name", peerName});
    if (!linked)
        return;
    madeHere() << localName;
    const QString peerPath =
        QStringLiteral("/proc/%1/fd/%2").arg(QCoreApplication::applicationPid()).arg(peerNamespace);
    const QList<QStringList> local = {
        {"link", "set", peerName, "netns", peerPath},
        {"address", "add", localCidr, "dev", localName},
        {"link", "set", localName, "up"},
        {"route", "add", "224.0.0.0/4", "dev", localName},
    };
    QList<QStringList> peer = {
        {"link", "set", "lo", "up"},
        {"address", "add", peerCidr, "dev", peerName},
    };
    for (const QString &more : morePeerCidrs)
        peer.append({"address", "add", more, "dev", peerName});
    peer.append({"link", "set", peerName, "up"});
    peer.append({"route", "add", "224.0.0.0/4", "dev", peerName});
    if (!ipAll(local) || !enterPeer())
        return;
    ipAll(peer);
    leavePeer();
}

PeerNetwork::~PeerNetwork()
{
    // Either end takes the other with it; sockets bound in the peer keep
    // its namespace until they close.
    if (linked) {
        ip({"link", "delete", localName});
        madeHere().removeAll(localName);
    }
    if (peerNamespace >= 0)
        close(peerNamespace);
    if (ownNamespace >= 0)
        close(ownNamespace);
}

bool PeerNetwork::isReady() const
{
    return problem.isEmpty();
}

const QString &PeerNetwork::error() const
{
    return problem;
}

const QString &PeerNetwork::localInterface() const
{
    return localName;
}

bool PeerNetwork::fail(const QString &why)
{
    if (problem.isEmpty())
        problem = why;
    return false;
}

bool PeerNetwork::ownNamespaceIsPrivate()
{
    // Unreadable as a user's mapped root; then the interfaces alone decide.
    const QString own = QFile::symLinkTarget(QStringLiteral("/proc/thread-self/ns/net"));
    const QString system = QFile::symLinkTarget(QStringLiteral("/proc/1/ns/net"));
    if (!system.isEmpty() && own == system)
        return fail(QStringLiteral("refusing to send: the test runs in the system's network namespace; "
                                   "run it through CTest or cmake/isolated.sh"));
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        const QString name = interface.name();
        if (!(interface.flags() & QNetworkInterface::IsLoopBack) && !madeHere().contains(name))
            return fail(QStringLiteral("refusing to send: interface %1 is not the test's own; "
                                       "run the test through CTest or cmake/isolated.sh").arg(name));
    }
    return true;
}

bool PeerNetwork::enterPeer()
{
    return setns(peerNamespace, CLONE_NEWNET) == 0
        || fail(QStringLiteral("cannot enter the peer namespace: %1").arg(qt_error_string(errno)));
}

void PeerNetwork::leavePeer()
{
    // Failing here would leave the test in the peer: nothing it does is sound after that.
    if (setns(ownNamespace, CLONE_NEWNET) != 0)
        qFatal("cannot return to the test's network namespace: %s", qPrintable(qt_error_string(errno)));
}

bool PeerNetwork::bindInPeer(QUdpSocket &socket, const QHostAddress &address, quint16 port)
{
    // Qt makes the native socket at bind, in the namespace of the calling thread.
    if (!isReady() || !enterPeer())
        return false;
    const bool bound = socket.bind(address, port);
    leavePeer();
    return bound || fail(QStringLiteral("cannot bind %1 in the peer: %2").arg(address.toString(), socket.errorString()));
}

bool PeerNetwork::ipAll(const QList<QStringList> &commands)
{
    for (const QStringList &arguments : commands) {
        if (!ip(arguments))
            return false;
    }
    return true;
}

bool PeerNetwork::ip(const QStringList &arguments)
{
    // Run from this thread, the command works in the namespace this thread is in.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ip"), arguments);
    if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    return fail(QStringLiteral("ip %1: %2").arg(arguments.join(QLatin1Char(' ')),
                                               QString::fromLocal8Bit(process.readAll()).trimmed()));
}
