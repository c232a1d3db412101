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
    prepared = false;
    updateScrollRange();
    viewport()->update();
}

void LevelsView::setCellSize(const QSize &size)
{
    cell = size;
    prepared = false;
    updateGeometry();
    updateScrollRange();
}

int LevelsView::measureLabels() const
{
    return fontMetrics().horizontalAdvance(QStringLiteral("497-512")) + 8;
}

QSize LevelsView::minimumSizeHint() const
{
    const int frame = 2 * frameWidth();
    const int cells = LevelsModel::Columns * cell.width();
    return QSize(measureLabels() + cells + verticalScrollBar()->sizeHint().width() + frame, 4 * cell.height() + frame);
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
    // The cells only: the rows' labels stay as they are.
    QRect cells = rowRect(topLeft.row()).united(rowRect(bottomRight.row()));
    cells.setLeft(labelWidth);
    cells.setWidth(LevelsModel::Columns * cell.width());
    viewport()->update(cells);
}

void LevelsView::prepare()
{
    const qreal ratio = viewport()->devicePixelRatioF();
    const QColor base = palette().base().color();
    if (prepared && preparedFont == font() && preparedBase == base && preparedRatio == ratio)
        return;
    prepared = true;
    preparedFont = font();
    preparedBase = base;
    preparedRatio = ratio;
    labelWidth = measureLabels();
    for (QStaticText &label : labels)
        label.prepare(QTransform(), preparedFont);
    for (int level = 0; level < 256; ++level) {
        drawPicture(level, false);
        drawPicture(level, true);
    }
}

void LevelsView::drawPicture(int level, bool carried)
{
    QPixmap &picture = pictures[carried][level];
    picture = QPixmap(cell * preparedRatio);
    picture.setDevicePixelRatio(preparedRatio);
    // One pixel right and below stays the base colour: the grid between cells.
    picture.fill(preparedBase);
    QColor background, text;
    LevelsModel::shade(level, carried, &background, &text);
    QPainter painter(&picture);
    const QRect box(0, 0, cell.width() - 1, cell.height() - 1);
    painter.fillRect(box, background);
    painter.setPen(text);
    painter.setFont(preparedFont);
    painter.drawText(box, Qt::AlignCenter, QString::number(level));
}

void LevelsView::paintEvent(QPaintEvent *event)
{
    prepare();
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    const int cellsRight = labelWidth + LevelsModel::Columns * cell.width();
    const int contentBottom = LevelsModel::Rows * cell.height() - verticalScrollBar()->value();
    // The cells and labels cover the rest.
    if (dirty.right() >= cellsRight)
        painter.fillRect(QRect(cellsRight, dirty.top(), viewport()->width() - cellsRight, dirty.height()),
                         palette().base());
    if (dirty.bottom() >= contentBottom)
        painter.fillRect(QRect(0, contentBottom, viewport()->width(), dirty.bottom() + 1 - contentBottom),
                         palette().base());
    if (!levels)
        return;
    const int first = qMax(0, (dirty.top() + verticalScrollBar()->value()) / cell.height());
    const int last = qMin(LevelsModel::Rows - 1, (dirty.bottom() + verticalScrollBar()->value()) / cell.height());
    const int firstColumn = qMax(0, (dirty.left() - labelWidth) / cell.width());
    const int lastColumn = qMin(LevelsModel::Columns - 1, (dirty.right() - labelWidth) / cell.width());
    painter.setFont(preparedFont);
    painter.setPen(palette().buttonText().color());
    for (int row = first; row <= last; ++row) {
        const QRect line = rowRect(row);
        if (dirty.left() < labelWidth) {
            painter.fillRect(QRect(line.left(), line.top(), labelWidth, line.height()), palette().button());
            painter.drawStaticText(line.left() + 4,
                                   line.top() + (line.height() - int(labels[row].size().height())) / 2, labels[row]);
        }
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const QPoint at(labelWidth + column * cell.width(), line.top());
            int level = 0;
            bool carried = false;
            if (levels->cell(levels->index(row, column), &level, &carried))
                painter.drawPixmap(at, pictures[carried][level]);
            else
                painter.fillRect(QRect(at, cell), palette().base());
        }
    }
}

QModelIndex LevelsView::indexAt(const QPoint &position) const
{
    const int column = (position.x() - labelWidth) / cell.width();
    const int row = (position.y() + verticalScrollBar()->value()) / cell.height();
    if (!levels || !prepared || position.x() < labelWidth || column >= LevelsModel::Columns
        || row >= LevelsModel::Rows)
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
