#ifndef LEVELSMODEL_H
#define LEVELSMODEL_H

#include "universedataarea.h"

#include <QAbstractTableModel>
#include <QColor>

// A record's 512 levels as the visualiser reads them, 16 channels a row,
// each cell shaded by its level. Channels past the record's length are
// greyed: the driver hands them out, but the last packet did not carry them.
class LevelsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int Columns = 16;
    static constexpr int Rows = UniverseData::ChannelCount / Columns;

    explicit LevelsModel(QObject *parent = nullptr);

    // Null shows no levels.
    void show(const UniverseRecord *levels);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // What a cell shows: its level, and whether the last packet carried it;
    // false for a cell with nothing to show.
    bool cell(const QModelIndex &index, int *level, bool *carried) const;
    // How a cell with that level is painted.
    static void shade(int level, bool carried, QColor *background, QColor *text);

private:
    UniverseRecord shown = {};
    bool valid = false;
};

#endif // LEVELSMODEL_H
