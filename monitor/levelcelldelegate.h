#ifndef LEVELCELLDELEGATE_H
#define LEVELCELLDELEGATE_H

#include <QStaticText>
#include <QStyledItemDelegate>

// Paints a level's cell straight from the levels model: its shade and its
// number, laid out once for each of the 256 values. While a show runs, every
// level may change at every refresh; the style's item painting, which lays
// out each cell's text anew, would cost several times the rest of the window.
class LevelCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    mutable QStaticText numbers[256];
    mutable QSizeF sizes[256]; // asking a laid-out text its size costs more than drawing it
    mutable QFont laidOutIn;
};

#endif // LEVELCELLDELEGATE_H
