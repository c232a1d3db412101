#include "recordsourcesmodel.h"

#include "fieldstring.h"
#include "protocoltext.h"

#include <QByteArray>
#include <QUuid>

#include <algorithm>

RecordSourcesModel::RecordSourcesModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void RecordSourcesModel::show(const NodeSnapshot *snapshot, int shownRecord)
{
    const int count = snapshot ? std::min<int>(snapshot->records[shownRecord].sourceCount, NodeState::SourcesPerRecord)
                               : 0;
    // A reset only when rows come or go, so that a view keeps its place.
    const bool reset = count != rows || shownRecord != record;
    if (reset)
        beginResetModel();
    shown = snapshot;
    record = shownRecord;
    rows = count;
    // Who a sender is stays; what it sends moves. Only cells whose text
    // changed are told, one by one: a view repaints a single cell alone, and
    // laying out a cell's text is most of what a refresh costs.
    told.resize(rows * Moving);
    for (int row = 0; row < rows; ++row) {
        for (int column = Packets; column < ColumnCount; ++column) {
            QString now = text(snapshot->records[record].sources[row], column);
            QString &before = told[row * Moving + column - Packets];
            if (now == before)
                continue;
            before = std::move(now);
            if (!reset)
                emit dataChanged(index(row, column), index(row, column));
        }
    }
    if (reset)
        endResetModel();
}

QString RecordSourcesModel::heldText(std::uint8_t held)
{
    switch (NodeState::Held(held)) {
    case NodeState::Held::No:
        return tr("no");
    case NodeState::Held::Outranked:
        return tr("yes: outranked by a higher priority");
    case NodeState::Held::ArtNetFirst:
        return tr("yes: Art-Net comes first for 2.5 s");
    case NodeState::Held::ThirdSource:
        return tr("yes: third Art-Net sender, two others merge");
    }
    return tr("yes");
}

int RecordSourcesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows;
}

int RecordSourcesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RecordSourcesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !shown || index.row() >= rows)
        return QVariant();
    const SourceState &source = shown->records[record].sources[index.row()];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text(source, index.column());
    if (role == Qt::TextAlignmentRole && index.column() >= Priority && index.column() <= PerSecond
        && index.column() != Cid)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QString RecordSourcesModel::text(const SourceState &source, int column) const
{
    const bool sacn = source.protocol == std::uint8_t(NodeState::SourceProtocol::Sacn);
    switch (column) {
    case Protocol:
        return protocolName(source.protocol);
    case Sender:
        return senderText(source.address, source.port);
    case Name:
        return sacn ? fieldString(source.sourceName) : QString();
    case Priority:
        return sacn ? QString::number(source.priority) : QString();
    case Cid:
        return sacn ? QUuid::fromRfc4122(QByteArray(reinterpret_cast<const char *>(source.cid), sizeof source.cid))
                          .toString(QUuid::WithoutBraces)
                    : QString();
    case Packets:
        return QString::number(source.packets);
    case PerSecond:
        return QString::number(source.packetsPerSecond);
    case LastSeen:
        return agoText(shown->program.nowMs, source.lastMs);
    case HeldBack:
        if (source.held != std::uint8_t(NodeState::Held::No))
            return tr("%1 (%2 packets held in all)").arg(heldText(source.held)).arg(source.heldPackets);
        if (source.heldPackets != 0)
            return tr("no (%1 packets held before)").arg(source.heldPackets);
        return heldText(source.held);
    }
    return QString();
}

QVariant RecordSourcesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case Protocol:
        return tr("Protocol");
    case Sender:
        return tr("Sender");
    case Name:
        return tr("Name");
    case Priority:
        return tr("Priority");
    case Cid:
        return tr("CID");
    case Packets:
        return tr("Packets");
    case PerSecond:
        return tr("Per second");
    case LastSeen:
        return tr("Last seen");
    case HeldBack:
        return tr("Held back");
    }
    return QVariant();
}
