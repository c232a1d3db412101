#include "unreachedmodel.h"

#include "protocoltext.h"

#include <algorithm>

namespace {

constexpr int Records = NodeState::RecordCount;
constexpr int LastSacnFirst = 63999 - (Records - 1);

} // namespace

UnreachedModel::UnreachedModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void UnreachedModel::show(const NodeSnapshot *snapshot)
{
    const int count = snapshot ? std::min<int>(snapshot->unreached.count, NodeState::UnreachedCount) : 0;
    // Who and why stand in the first columns and the advice; the count and
    // the time move at every refresh while the data keeps coming.
    std::vector<Identity> now(static_cast<std::size_t>(count));
    for (int row = 0; row < count; ++row) {
        const UnreachedEntry &entry = snapshot->unreached.entries[row];
        now[std::size_t(row)] = {entry.reason, entry.protocol, entry.record, entry.universe, entry.address};
    }
    const bool reset = now != identities || (snapshot == nullptr) != (shown == nullptr);
    if (reset)
        beginResetModel();
    shown = snapshot;
    rows = count;
    identities = std::move(now);
    // Only the cells whose text changed, one by one: a view repaints a
    // single cell alone, but the whole of itself, wrapped advice and all, for
    // a range.
    told.resize(rows * 2);
    for (int row = 0; row < rows; ++row) {
        for (int column : {Count, LastSeen}) {
            QString text = this->text(snapshot->unreached.entries[row], column);
            QString &before = told[row * 2 + (column == LastSeen)];
            if (text == before)
                continue;
            before = std::move(text);
            if (!reset)
                emit dataChanged(index(row, column), index(row, column));
        }
    }
    if (reset)
        endResetModel();
}

QString UnreachedModel::reasonText(std::uint8_t reason)
{
    switch (NodeState::Unreached(reason)) {
    case NodeState::Unreached::PortAddressUnmapped:
        return tr("Port-Address outside the records");
    case NodeState::Unreached::SacnUniverseUnmapped:
        return tr("sACN universe not mapped");
    case NodeState::Unreached::ThirdSource:
        return tr("third Art-Net sender");
    case NodeState::Unreached::HeldByArtNet:
        return tr("sACN held by Art-Net");
    case NodeState::Unreached::SourceLimit:
        return tr("over the sACN source limits");
    case NodeState::Unreached::Malformed:
        return tr("malformed datagram");
    }
    return tr("reason %1").arg(reason);
}

QString UnreachedModel::advice(const UnreachedEntry &entry, const NodeSnapshot &snapshot)
{
    const ProgramState &program = snapshot.program;
    const int universe = entry.universe;
    const bool ownRecord = entry.record >= 0 && entry.record < Records;
    switch (NodeState::Unreached(entry.reason)) {
    case NodeState::Unreached::PortAddressUnmapped: {
        // The first Port-Address of its Net keeps the Net's records in step
        // with its universes.
        const int first = universe & 0x7f00;
        return tr("Records 0-255 take Port-Addresses %1-%2 (Network/artnetFirstUniverse=%1). Set "
                  "Network/artnetFirstUniverse=%3 to take it as record %4, or send to a Port-Address of %1-%2.")
            .arg(program.artNetFirst)
            .arg(program.artNetFirst + Records - 1)
            .arg(first)
            .arg(universe - first);
    }
    case NodeState::Unreached::SacnUniverseUnmapped: {
        const int last = program.sacnFirst + Records - 1;
        if (universe >= program.sacnFirst && universe <= last)
            return tr("sACN universe %1 feeds record %2, which Network/universes does not list: add %2 to it.")
                .arg(universe)
                .arg(universe - program.sacnFirst);
        // sACN universe 1 is record 0 by default; keep that step of 256.
        const int first = std::min(universe - (universe - 1) % Records, LastSacnFirst);
        const int record = universe - first;
        QString text = tr("Records 0-255 take sACN universes %1-%2 (Network/sacnFirstUniverse=%1). Set "
                          "Network/sacnFirstUniverse=%3 to take it as record %4, or send to a universe of %1-%2.")
                           .arg(program.sacnFirst)
                           .arg(last)
                           .arg(first)
                           .arg(record);
        if (!snapshot.records[record].sacnListed)
            text += tr(" Network/universes must list record %1 too.").arg(record);
        return text;
    }
    case NodeState::Unreached::ThirdSource:
        return tr("Two Art-Net senders are merged into record %1 already (Network/artnetMerge), and a third is "
                  "ignored while both send: stop one of the three, or send it to a universe of its own.")
            .arg(ownRecord ? QString::number(entry.record) : tr("of its universe"));
    case NodeState::Unreached::HeldByArtNet:
        return tr("Art-Net feeds record %1 and comes first until 2.5 s after its last ArtDmx: stop Art-Net to %2, "
                  "or move sACN to other records with Network/sacnFirstUniverse.")
            .arg(ownRecord ? QString::number(entry.record) : tr("of this universe"),
                 ownRecord ? artNetText(snapshot.records[entry.record].portAddress) : tr("that record"));
    case NodeState::Unreached::SourceLimit:
        return tr("The sACN receiver keeps at most 8 sources per universe and 1,024 source-universe pairs in all, "
                  "and ignores further ones until a place frees: stop senders that are not needed.");
    case NodeState::Unreached::Malformed:
        return tr("Not a well-formed %1 packet (%2 malformed so far): check what the sender sends to UDP %3.")
            .arg(protocolName(entry.protocol))
            .arg(entry.protocol == std::uint8_t(NodeState::SourceProtocol::Sacn) ? program.malformedSacn
                                                                                   : program.malformedArtNet)
            .arg(entry.protocol == std::uint8_t(NodeState::SourceProtocol::Sacn) ? program.sacnPort
                                                                                   : program.artNetPort);
    }
    return QString();
}

int UnreachedModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows;
}

int UnreachedModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UnreachedModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !shown || index.row() >= rows)
        return QVariant();
    const UnreachedEntry &entry = shown->unreached.entries[index.row()];
    if (role == Qt::DisplayRole)
        return text(entry, index.column());
    if (role == Qt::ToolTipRole)
        return advice(entry, *shown);
    return QVariant();
}

QString UnreachedModel::text(const UnreachedEntry &entry, int column) const
{
    switch (column) {
    case Reason:
        return reasonText(entry.reason);
    case Protocol:
        return protocolName(entry.protocol);
    case Universe:
        if (entry.reason == std::uint8_t(NodeState::Unreached::Malformed))
            return QString();
        return entry.protocol == std::uint8_t(NodeState::SourceProtocol::Sacn) ? QString::number(entry.universe)
                                                                                 : artNetText(entry.universe);
    case Sender:
        return senderText(entry.address, entry.port);
    case Count:
        return QString::number(entry.count);
    case LastSeen:
        return agoText(shown->program.nowMs, entry.lastMs);
    case Advice:
        return advice(entry, *shown);
    }
    return QString();
}

QVariant UnreachedModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case Reason:
        return tr("Reason");
    case Protocol:
        return tr("Protocol");
    case Universe:
        return tr("Universe");
    case Sender:
        return tr("Sender");
    case Count:
        return tr("Count");
    case LastSeen:
        return tr("Last seen");
    case Advice:
        return tr("What to change");
    }
    return QVariant();
}
