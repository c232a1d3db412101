#ifndef NODESTATEWRITER_H
#define NODESTATEWRITER_H

// The program's side of the state section: creates it, or takes over the one
// a monitor still holds from an earlier run, and rewrites its blocks. Every
// write is a whole block under its sequence counter; nothing here waits.
// Qt-free.

#include "nodestatelayout.h"
#include "sharedarea.h"

class NodeStateWriter
{
public:
    NodeStateWriter();
    // Marks the program as ended before the section is let go, so that a
    // monitor holding it on tells at once.
    ~NodeStateWriter();
    NodeStateWriter(const NodeStateWriter &) = delete;
    NodeStateWriter &operator=(const NodeStateWriter &) = delete;

    bool isValid() const { return area.isValid(); }

    void publishProgram(const ProgramState &state);
    void publishRecord(int record, const RecordState &state);
    void publishUnreached(const UnreachedState &state);
    void publishHolders(const PortHoldersState &state);

private:
    NodeStateSection *section() const { return reinterpret_cast<NodeStateSection *>(area.bytes()); }

    SharedArea area;
};

#endif // NODESTATEWRITER_H
