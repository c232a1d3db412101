#ifndef NODESTATEREADER_H
#define NODESTATEREADER_H

// A monitor's side of the state section: a read-only view, opened when the
// program has made the section and kept while it lasts, so that a restarted
// program is seen in the same view. Each read copies one block whole and
// consistent, or fails for this turn when the writer was at work on it every
// time it looked; a reader never waits. Qt-free.

#include "nodestatelayout.h"
#include "sharedarea.h"

class NodeStateReader
{
public:
    enum class Status { Absent, Incompatible, Attached };

    // Opens the section if not yet open; cheap enough to call before every
    // refresh.
    Status attach();
    Status status() const { return current; }
    // The layout version of a section found incompatible; 0 when unknown.
    std::uint32_t foundVersion() const { return version; }
    void release();

    bool readProgram(ProgramState &state) const;
    // Copies the record's sources up to its count; the slots past it in
    // `state` are left as they were.
    bool readRecord(int record, RecordState &state) const;
    bool readUnreached(UnreachedState &state) const;
    bool readHolders(PortHoldersState &state) const;

private:
    const NodeStateSection *section() const;

    SharedArea area;
    Status current = Status::Absent;
    std::uint32_t version = 0;
};

#endif // NODESTATEREADER_H
