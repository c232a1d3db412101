#include "levelsview.h"

#include "levelsmodel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

LevelsView::LevelsView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Every pixel is painted by paintEvent: nothing beneath needs painting first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
}

void LevelsView::setModel(LevelsModel *model)
{
    levels = model;
    connect(levels, SIGNAL(dataChanged(QModelIndex, QModelIndex)), this,
            SLOT(levelsChanged(QModelIndex, QModelIndex)));
    labels.clear();
    for (int row = 0; row < LevelsModel::Rows; ++row)
        labels.append(QStaticText(levels->headerData(row, Qt::Vertical).toString()));
    textsLaidOut = false;
    updateScrollRange();
    viewport()->update();
}

void LevelsView::setCellSize(const QSize &size)
{
    cell = size;
    updateGeometry();
    updateScrollRange();
}

int LevelsView::labelWidth() const
{
    return fontMetrics().horizontalAdvance(QStringLiteral("497-512")) + 8;
}

QSize LevelsView::minimumSizeHint() const
{
    const int frame = 2 * frameWidth();
    return QSize(labelWidth() + LevelsModel::Columns * cell.width() + verticalScrollBar()->sizeHint().width() + frame,
                 4 * cell.height() + frame);
}

QSize LevelsView::sizeHint() const
{
    return QSize(minimumSizeHint().width(), 16 * cell.height() + 2 * frameWidth());
}

void LevelsView::updateScrollRange()
{
    const int content = LevelsModel::Rows * cell.height();
    verticalScrollBar()->setRange(0, qMax(0, content - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(cell.height());
}

void LevelsView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void LevelsView::scrollContentsBy(int, int)
{
    viewport()->update();
}

QRect LevelsView::rowRect(int row) const
{
    return QRect(0, row * cell.height() - verticalScrollBar()->value(), viewport()->width(), cell.height());
}

void LevelsView::levelsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    viewport()->update(rowRect(topLeft.row()).united(rowRect(bottomRight.row())));
}

void LevelsView::layOutTexts()
{
    laidOutIn = font();
    textsLaidOut = true;
    for (int value = 0; value < 256; ++value) {
        numbers[value].setText(QString::number(value));
        numbers[value].prepare(QTransform(), laidOutIn);
        numberSizes[value] = numbers[value].size();
    }
    for (QStaticText &label : labels)
        label.prepare(QTransform(), laidOutIn);
}

void LevelsView::paintEvent(QPaintEvent *event)
{
    if (!textsLaidOut || font() != laidOutIn)
        layOutTexts();
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().base());
    if (!levels)
        return;
    painter.setFont(laidOutIn);
    const int label = labelWidth();
    const int first = qMax(0, (event->rect().top() + verticalScrollBar()->value()) / cell.height());
    const int last = qMin(LevelsModel::Rows - 1, (event->rect().bottom() + verticalScrollBar()->value()) / cell.height());
    for (int row = first; row <= last; ++row) {
        const QRect line = rowRect(row);
        painter.fillRect(QRect(line.left(), line.top(), label, line.height()), palette().button());
        painter.setPen(palette().buttonText().color());
        painter.drawStaticText(line.left() + 4, line.top() + (line.height() - int(labels[row].size().height())) / 2,
                               labels[row]);
        for (int column = 0; column < LevelsModel::Columns; ++column) {
            int level = 0;
            QColor background, text;
            if (!levels->cell(levels->index(row, column), &level, &background, &text))
                continue;
            // One pixel right and below stays the base colour: the grid between cells.
            const QRect box(label + column * cell.width(), line.top(), cell.width() - 1, cell.height() - 1);
            painter.fillRect(box, background);
            painter.setPen(text);
            const QSizeF &size = numberSizes[level];
            painter.drawStaticText(QPointF(box.x() + (box.width() - size.width()) / 2,
                                           box.y() + (box.height() - size.height()) / 2),
                                   numbers[level]);
        }
    }
}

QModelIndex LevelsView::indexAt(const QPoint &position) const
{
    const int column = (position.x() - labelWidth()) / cell.width();
    const int row = (position.y() + verticalScrollBar()->value()) / cell.height();
    if (!levels || position.x() < labelWidth() || column >= LevelsModel::Columns || row >= LevelsModel::Rows)
        return QModelIndex();
    return levels->index(row, column);
}

bool LevelsView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString tip = index.isValid() ? levels->data(index, Qt::ToolTipRole).toString() : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}
