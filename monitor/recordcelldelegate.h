#ifndef RECORDCELLDELEGATE_H
#define RECORDCELLDELEGATE_H

#include <QStyledItemDelegate>

// Paints a record's cell in its state's colour also while it is the chosen
// one, which a frame marks instead of the style's selection colour.
class RecordCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

#endif // RECORDCELLDELEGATE_H
