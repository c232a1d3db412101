#include "nodestatewriter.h"

#include <cstring>

NodeStateWriter::NodeStateWriter()
    : area(SharedArea::Mode::Create, NodeState::SectionName, sizeof(NodeStateSection))
{
    if (!isValid())
        return;
    // A section left by an earlier run keeps its counters running on, so that
    // a reader in the middle of a copy never sees an old count come back; its
    // contents start afresh.
    NodeStateSection *state = section();
    state->program.write([](ProgramState &program) { std::memset(&program, 0, sizeof program); });
    for (auto &record : state->records)
        record.write([](RecordState &entry) {
            std::memset(&entry, 0, sizeof entry);
            entry.lastWrittenMs = -1;
        });
    state->unreached.write([](UnreachedState &list) { std::memset(&list, 0, sizeof list); });
    state->holders.write([](PortHoldersState &list) { std::memset(&list, 0, sizeof list); });
    state->size = sizeof(NodeStateSection);
    state->version = NodeState::Version;
    std::atomic_thread_fence(std::memory_order_release);
    state->magic = NodeState::Magic;
}

NodeStateWriter::~NodeStateWriter()
{
    if (isValid())
        section()->program.write([](ProgramState &program) { program.running = 0; });
}

void NodeStateWriter::publishProgram(const ProgramState &state)
{
    if (isValid())
        section()->program.write([&state](ProgramState &program) { program = state; });
}

void NodeStateWriter::publishRecord(int record, const RecordState &state)
{
    if (isValid() && record >= 0 && record < NodeState::RecordCount)
        section()->records[record].write([&state](RecordState &entry) { entry = state; });
}

void NodeStateWriter::publishUnreached(const UnreachedState &state)
{
    if (isValid())
        section()->unreached.write([&state](UnreachedState &list) { list = state; });
}

void NodeStateWriter::publishHolders(const PortHoldersState &state)
{
    if (isValid())
        section()->holders.write([&state](PortHoldersState &list) { list = state; });
}
