#ifndef UNREACHEDMODEL_H
#define UNREACHEDMODEL_H

#include "nodesnapshot.h"

#include <QAbstractTableModel>
#include <QVector>

#include <vector>

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

    // Which entry each row shows, as far as its text other than count and time tells.
    struct Identity
    {
        std::uint8_t reason, protocol;
        std::int16_t record;
        std::uint16_t universe;
        std::uint32_t address;
        bool operator==(const Identity &other) const
        {
            return reason == other.reason && protocol == other.protocol && record == other.record
                   && universe == other.universe && address == other.address;
        }
        bool operator!=(const Identity &other) const { return !(*this == other); }
    };

    const NodeSnapshot *shown = nullptr;
    int rows = 0;
    std::vector<Identity> identities;
    QVector<QString> told; // the count's and the time's texts, row by row
};

#endif // UNREACHEDMODEL_H
