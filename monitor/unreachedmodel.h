#ifndef UNREACHEDMODEL_H
#define UNREACHEDMODEL_H

#include "nodesnapshot.h"

#include <QAbstractTableModel>

// What arrives but reaches no record, most recent first: why, from whom and
// how often, and what to change so that it does reach the visualiser. The
// advice names the settings with the values of the running program.
class UnreachedModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Reason, Protocol, Universe, Sender, Count, LastSeen, Advice, ColumnCount };

    explicit UnreachedModel(QObject *parent = nullptr);

    // As RecordGridModel::show(); null shows nothing.
    void show(const NodeSnapshot *snapshot);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    static QString reasonText(std::uint8_t reason);
    static QString advice(const UnreachedEntry &entry, const NodeSnapshot &snapshot);
    QString text(const UnreachedEntry &entry, int column) const;

    const NodeSnapshot *shown = nullptr;
    int rows = 0;
};

#endif // UNREACHEDMODEL_H
