#include "levelcelldelegate.h"

#include "levelsmodel.h"

#include <QPainter>

void LevelCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *levels = qobject_cast<const LevelsModel *>(index.model());
    int level = 0;
    QColor background, text;
    if (!levels || !levels->cell(index, &level, &background, &text)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    if (option.font != laidOutIn) {
        laidOutIn = option.font;
        for (int value = 0; value < 256; ++value) {
            numbers[value].setText(QString::number(value));
            numbers[value].prepare(QTransform(), laidOutIn);
            sizes[value] = numbers[value].size();
        }
    }
    painter->fillRect(option.rect, background);
    const QStaticText &number = numbers[level];
    const QSizeF &size = sizes[level];
    painter->setFont(laidOutIn);
    painter->setPen(text);
    painter->drawStaticText(QPointF(option.rect.x() + (option.rect.width() - size.width()) / 2,
                                    option.rect.y() + (option.rect.height() - size.height()) / 2),
                            number);
}
