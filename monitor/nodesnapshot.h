#ifndef NODESNAPSHOT_H
#define NODESNAPSHOT_H

// What one refresh read: the state section, block by block, and the levels
// of one record of the universe data area, the one the window shows. The
// views show it and never read shared memory themselves, so they can be fed
// by hand. About 400 KB: keep it on the heap.

#include "nodestatelayout.h"
#include "universedataarea.h"

struct NodeSnapshot
{
    ProgramState program;
    RecordState records[NodeState::RecordCount];
    UnreachedState unreached;
    PortHoldersState holders;
    bool levelsRead; // false: `levels` holds nothing
    UniverseRecord levels;
};

#endif // NODESNAPSHOT_H
