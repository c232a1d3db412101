#ifndef RECORDSOURCESMODEL_H
#define RECORDSOURCESMODEL_H

#include "nodesnapshot.h"

#include <QAbstractTableModel>
#include <QVector>

// The senders that fed one record, one row each: protocol, address and port,
// for sACN the source's name, priority and CID, packets in all and per
// second, when last seen and whether its last packet was held back, and why.
class RecordSourcesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Protocol, Sender, Name, Priority, Cid, Packets, PerSecond, LastSeen, HeldBack, ColumnCount };

    explicit RecordSourcesModel(QObject *parent = nullptr);

    // As RecordGridModel::show(); null shows no sources.
    void show(const NodeSnapshot *snapshot, int record);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    static QString heldText(std::uint8_t held);
    QString text(const SourceState &source, int column) const;

    static constexpr int Moving = ColumnCount - Packets; // columns from Packets on

    const NodeSnapshot *shown = nullptr;
    int record = 0;
    int rows = 0;
    QVector<QString> told; // the moving columns' texts, row by row
};

#endif // RECORDSOURCESMODEL_H
