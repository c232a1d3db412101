#ifndef LOOPBACKNODE_H
#define LOOPBACKNODE_H

// The program's receive pipeline on loopback: an Art-Net engine on 127.0.0.1
// whose ArtDmx reach the area as in the program, sACN off unless the options
// turn it on. The area is created at once; the engine listens from start()
// on.

#include "artnetengine.h"
#include "receivepipeline.h"
#include "universemapper.h"

#include <QHostAddress>

struct LoopbackNode
{
    explicit LoopbackNode(quint16 port, ReceiveOptions options = onLoopback())
        : pipeline(onPort(options, port)),
          engine(*pipeline.engine()),
          mapper(*pipeline.linkArea(nullptr))
    {
    }

    static ReceiveOptions onLoopback()
    {
        ReceiveOptions options;
        options.address = QHostAddress(QHostAddress::LocalHost);
        options.sacn = false;
        return options;
    }

    static ReceiveOptions onPort(ReceiveOptions options, quint16 port)
    {
        options.artNetPort = port;
        return options;
    }

    // False when a port could not be bound.
    bool start() { return pipeline.startArtNet() && (!pipeline.options().sacn || pipeline.startSacn()); }

    ReceivePipeline pipeline;
    ArtNetEngine &engine;
    UniverseMapper &mapper;
};

#endif // LOOPBACKNODE_H
