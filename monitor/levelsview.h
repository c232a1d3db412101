#ifndef LEVELSVIEW_H
#define LEVELSVIEW_H

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QModelIndex>
#include <QPixmap>
#include <QStaticText>

class LevelsModel;

// A record's levels, painted straight from the levels model in cells of one
// fixed size, 16 channels a row under a label of the row's channels; rows
// scroll. While a show runs every level may change at every refresh: an item
// view's painting, cell by cell through the style, would cost several times
// all the rest of the window. So each cell is a picture drawn once per level,
// grid line included, and a refresh only copies pictures.
class LevelsView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit LevelsView(QWidget *parent = nullptr);

    void setModel(LevelsModel *model);
    void setCellSize(const QSize &size);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent *event) override;

private slots:
    void levelsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);

private:
    int measureLabels() const;
    void prepare();
    void drawPicture(int level, bool carried);
    void updateScrollRange();
    QRect rowRect(int row) const; // in the viewport
    QModelIndex indexAt(const QPoint &position) const;

    LevelsModel *levels = nullptr;
    QSize cell{32, 22};
    // What the pictures and labels were made for; any change makes them anew.
    bool prepared = false;
    QFont preparedFont;
    QColor preparedBase;
    qreal preparedRatio = 0;
    int labelWidth = 0;
    QVector<QStaticText> labels;
    QPixmap pictures[2][256]; // [carried][level]
};

#endif // LEVELSVIEW_H
