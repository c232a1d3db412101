#ifndef LOOPBACKNODE_H
#define LOOPBACKNODE_H

// The program's receive path on loopback: an Art-Net engine on 127.0.0.1
// whose ArtDmx go to the universe mapper, connected by the same strings as in
// the main window. The mapper creates the shared area at once; the engine
// listens from start() on.

#include "artnetengine.h"
#include "universemapper.h"

#include <QHostAddress>
#include <QObject>

struct LoopbackNode
{
    explicit LoopbackNode(quint16 port)
        : engine(QHostAddress(QHostAddress::LocalHost), port, 6, true),
          mapper(nullptr),
          wired(QObject::connect(&engine,
                                 SIGNAL(receivedArtDmx(const ArtDmx &, const QHostAddress &, const quint16 &)),
                                 &mapper, SLOT(processArtDmx(const ArtDmx &, const QHostAddress &, const quint16 &))))
    {
    }

    // False when the port could not be bound.
    bool start() { return wired && engine.start(); }

    ArtNetEngine engine;
    UniverseMapper mapper;

private:
    const bool wired;
};

#endif // LOOPBACKNODE_H
