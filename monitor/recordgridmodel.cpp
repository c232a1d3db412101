#include "recordgridmodel.h"

#include "protocoltext.h"

#include <QStringList>

#include <algorithm>

RecordGridModel::RecordGridModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

bool RecordGridModel::show(const NodeSnapshot *snapshot)
{
    shown = snapshot;
    bool changed = false;
    for (int record = 0; record < Side * Side; ++record) {
        const State now = state(record);
        if (now == told[record])
            continue;
        told[record] = now;
        changed = true;
        const QModelIndex cell = index(record / Side, record % Side);
        emit dataChanged(cell, cell);
    }
    return changed;
}

RecordGridModel::State RecordGridModel::state(int record) const
{
    if (!shown)
        return State::NeverFed;
    const ProgramState &program = shown->program;
    const RecordState &r = shown->records[record];
    auto recent = [&program](std::int64_t ms) { return ms >= 0 && program.nowMs - ms <= RecentMs; };

    const int sources = std::min<int>(r.sourceCount, NodeState::SourcesPerRecord);
    int artNetSending = 0;
    bool held = false;
    for (int i = 0; i < sources; ++i) {
        const SourceState &source = r.sources[i];
        if (!recent(source.lastMs))
            continue;
        artNetSending += source.protocol == std::uint8_t(NodeState::SourceProtocol::ArtNet);
        held = held || source.held != std::uint8_t(NodeState::Held::No);
    }
    // Without a merge, two Art-Net senders overwrite each other packet by packet.
    if (program.mergeMode == std::uint8_t(NodeState::MergeMode::Latest) && artNetSending >= 2)
        return State::Fighting;
    if (r.merging)
        return State::Merging;
    if (held)
        return State::HeldBack;
    if (recent(r.lastWrittenMs))
        return State::Live;
    return r.written != 0 || sources != 0 ? State::Stale : State::NeverFed;
}

QColor RecordGridModel::colour(State state)
{
    switch (state) {
    case State::NeverFed:
        return QColor(0xee, 0xee, 0xee);
    case State::Stale:
        return QColor(0xbc, 0xb4, 0x9a);
    case State::Live:
        return QColor(0x4c, 0xbb, 0x4c);
    case State::HeldBack:
        return QColor(0xf2, 0xa0, 0x2a);
    case State::Merging:
        return QColor(0x5a, 0x9a, 0xe0);
    case State::Fighting:
        return QColor(0xd8, 0x30, 0x30);
    }
    return QColor();
}

QString RecordGridModel::name(State state)
{
    switch (state) {
    case State::NeverFed:
        return tr("never fed");
    case State::Stale:
        return tr("stale");
    case State::Live:
        return tr("live");
    case State::HeldBack:
        return tr("held back");
    case State::Merging:
        return tr("merging");
    case State::Fighting:
        return tr("two senders fighting");
    }
    return QString();
}

QString RecordGridModel::meaning(State state)
{
    switch (state) {
    case State::NeverFed:
        return tr("nothing has arrived for this record");
    case State::Stale:
        return tr("fed before, but nothing written for more than 3 s");
    case State::Live:
        return tr("written within the last 3 s");
    case State::HeldBack:
        return tr("a sender of the last 3 s is held back: see its sources");
    case State::Merging:
        return tr("two Art-Net senders are merged (Network/artnetMerge)");
    case State::Fighting:
        return tr("two Art-Net senders within 3 s, and the latest ArtDmx wins: the levels jump between them");
    }
    return QString();
}

int RecordGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Side;
}

int RecordGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Side;
}

QVariant RecordGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const int r = record(index);
    switch (role) {
    case Qt::DisplayRole:
        return r;
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::BackgroundRole:
        return colour(state(r));
    case Qt::ForegroundRole:
        return state(r) == State::Fighting ? QColor(Qt::white) : QColor(Qt::black);
    case Qt::ToolTipRole:
        return toolTip(r);
    case StateRole:
        return int(state(r));
    default:
        return QVariant();
    }
}

QString RecordGridModel::toolTip(int record) const
{
    if (!shown)
        return tr("Record %1\nDorvantis is not running").arg(record);
    const State now = state(record);
    QStringList lines;
    lines << tr("Record %1: %2").arg(record).arg(name(now)) << meaning(now);
    const RecordState &r = shown->records[record];
    QString numbers = tr("Art-Net %1").arg(artNetText(r.portAddress));
    if (r.sacnListed)
        numbers += tr(", sACN universe %1").arg(r.sacnUniverse);
    lines << numbers;
    if (r.lastWrittenMs >= 0)
        lines << tr("written %1 times, last %2").arg(r.written).arg(agoText(shown->program.nowMs, r.lastWrittenMs));
    const int sources = std::min<int>(r.sourceCount, NodeState::SourcesPerRecord);
    lines << (sources == 1 ? tr("1 source") : tr("%1 sources").arg(sources));
    return lines.join(QLatin1Char('\n'));
}
