#include "nodestatereader.h"

NodeStateReader::Status NodeStateReader::attach()
{
    if (current == Status::Attached)
        return current;
    // Only the header is looked at first: a section of another layout may be
    // smaller than this one.
    constexpr std::uint32_t HeaderSize = offsetof(NodeStateSection, program);
    if (!area.attach(SharedArea::Mode::OpenRead, NodeState::SectionName, HeaderSize)) {
        area.release();
        return current = Status::Absent;
    }
    const auto *header = reinterpret_cast<const NodeStateSection *>(area.bytes());
    const bool ours = header->magic == NodeState::Magic;
    version = ours ? header->version : 0;
    if (!ours) {
        // Made but not yet filled in by a program that is starting up.
        area.release();
        return current = Status::Absent;
    }
    if (version != NodeState::Version || header->size != sizeof(NodeStateSection)
        || !area.attach(SharedArea::Mode::OpenRead, NodeState::SectionName, sizeof(NodeStateSection))) {
        area.release();
        return current = Status::Incompatible;
    }
    return current = Status::Attached;
}

void NodeStateReader::release()
{
    area.release();
    current = Status::Absent;
}

const NodeStateSection *NodeStateReader::section() const
{
    return current == Status::Attached ? reinterpret_cast<const NodeStateSection *>(area.bytes()) : nullptr;
}

bool NodeStateReader::readProgram(ProgramState &state) const
{
    const NodeStateSection *shared = section();
    return shared && shared->program.read(state);
}

bool NodeStateReader::readRecord(int record, RecordState &state) const
{
    const NodeStateSection *shared = section();
    // Most records have a source or two of their twelve slots: copying only
    // those keeps a refresh over all records to a fraction of the section.
    return shared && record >= 0 && record < NodeState::RecordCount
        && shared->records[record].readUsed(state, [](const RecordState &shown) { return usedBytes(shown); });
}

bool NodeStateReader::readUnreached(UnreachedState &state) const
{
    const NodeStateSection *shared = section();
    return shared && shared->unreached.read(state);
}

bool NodeStateReader::readHolders(PortHoldersState &state) const
{
    const NodeStateSection *shared = section();
    return shared && shared->holders.read(state);
}
