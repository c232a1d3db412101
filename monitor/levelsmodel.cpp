#include "levelsmodel.h"

#include <QColor>

LevelsModel::LevelsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void LevelsModel::show(const UniverseRecord *levels)
{
    valid = levels != nullptr;
    shown = valid ? *levels : UniverseRecord{};
    emit dataChanged(index(0, 0), index(Rows - 1, Columns - 1));
}

int LevelsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Rows;
}

int LevelsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant LevelsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !valid)
        return QVariant();
    const int channel = index.row() * Columns + index.column(); // from 0
    const int level = shown.data[channel];
    const bool carried = channel < shown.length;
    switch (role) {
    case Qt::DisplayRole:
        return level;
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::BackgroundRole: {
        // White to a dark teal as the level rises.
        const int shade = carried ? level : 0;
        return QColor(255 - shade * 215 / 255, 255 - shade * 135 / 255, 255 - shade * 145 / 255);
    }
    case Qt::ForegroundRole:
        if (!carried)
            return QColor(Qt::gray);
        return level > 160 ? QColor(Qt::white) : QColor(Qt::black);
    case Qt::ToolTipRole:
        return carried ? tr("Channel %1: %2 (%3 %)").arg(channel + 1).arg(level).arg(level * 100 / 255)
                       : tr("Channel %1: %2, past the last packet's %3 channels")
                             .arg(channel + 1)
                             .arg(level)
                             .arg(shown.length);
    default:
        return QVariant();
    }
}

QVariant LevelsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Vertical)
        return QVariant();
    return QStringLiteral("%1-%2").arg(section * Columns + 1).arg((section + 1) * Columns);
}
