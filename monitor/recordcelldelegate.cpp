#include "recordcelldelegate.h"

#include <QPainter>
#include <QPen>

void RecordCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem plain(option);
    plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    QStyledItemDelegate::paint(painter, plain, index);
    if (!(option.state & QStyle::State_Selected))
        return;
    painter->save();
    painter->setPen(QPen(Qt::black, 3));
    painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
    painter->restore();
}
