#ifndef NODESNAPSHOT_H
#define NODESNAPSHOT_H

// One refresh's copy of the state section, block by block. The views show
// it and never read the section themselves, so they can be fed by hand.
// About 400 KB: keep it on the heap.

#include "nodestatelayout.h"

struct NodeSnapshot
{
    ProgramState program;
    RecordState records[NodeState::RecordCount];
    UnreachedState unreached;
    PortHoldersState holders;
};

#endif // NODESNAPSHOT_H
