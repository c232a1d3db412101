#ifndef RECORDGRIDMODEL_H
#define RECORDGRIDMODEL_H

#include "nodesnapshot.h"

#include <QAbstractTableModel>
#include <QColor>

// The 256 records as a 16 x 16 grid, record 16 * row + column in each cell,
// coloured by what feeds it now. Ages are taken on the program's clock, the
// snapshot's ProgramState::nowMs, so the grid shows what the program saw at
// its last publish.
class RecordGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Ascending precedence: a record shows the last state that applies.
    enum class State { NeverFed, Stale, Live, HeldBack, Merging, Fighting };
    static constexpr int StateCount = 6;
    static constexpr int StateRole = Qt::UserRole; // int(State)
    static constexpr int Side = 16;
    // What counts as now: a write or a source seen this long ago.
    static constexpr std::int64_t RecentMs = 3000;

    explicit RecordGridModel(QObject *parent = nullptr);

    // The snapshot stays the caller's, to be shown again after each change;
    // null while the program is not running: every record then counts as
    // NeverFed, and its tooltip says why.
    // True when a record's state changed.
    bool show(const NodeSnapshot *snapshot);

    static int record(const QModelIndex &index) { return index.row() * Side + index.column(); }
    State state(int record) const;

    static QColor colour(State state);
    static QString name(State state);
    static QString meaning(State state);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QString toolTip(int record) const;

    const NodeSnapshot *shown = nullptr;
    // The state each cell was last told in: a refresh repaints only the
    // cells whose state changed.
    State told[Side * Side] = {};
};

#endif // RECORDGRIDMODEL_H
