#include "levelsmodel.h"

#include <algorithm>

#include <QColor>

LevelsModel::LevelsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void LevelsModel::show(const UniverseRecord *levels)
{
    const UniverseRecord before = shown;
    const bool wasValid = valid;
    valid = levels != nullptr;
    shown = valid ? *levels : UniverseRecord{};
    // Only the rows whose levels, or whether they were carried, changed, as
    // one range: one rectangle to repaint rather than a cell's each.
    int first = Rows, last = -1;
    for (int channel = 0; channel < Rows * Columns; ++channel) {
        if (valid == wasValid && before.data[channel] == shown.data[channel]
            && (channel < before.length) == (channel < shown.length))
            continue;
        first = std::min(first, channel / Columns);
        last = channel / Columns;
    }
    if (last >= 0)
        emit dataChanged(index(first, 0), index(last, Columns - 1));
}

bool LevelsModel::cell(const QModelIndex &index, int *level, bool *carried) const
{
    if (!index.isValid() || !valid)
        return false;
    const int channel = index.row() * Columns + index.column(); // from 0
    *level = shown.data[channel];
    *carried = channel < shown.length;
    return true;
}

void LevelsModel::shade(int level, bool carried, QColor *background, QColor *text)
{
    // White to a dark teal as the level rises.
    const int depth = carried ? level : 0;
    *background = QColor(255 - depth * 215 / 255, 255 - depth * 135 / 255, 255 - depth * 145 / 255);
    *text = !carried ? QColor(Qt::gray) : level > 160 ? QColor(Qt::white) : QColor(Qt::black);
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
