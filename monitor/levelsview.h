#ifndef LEVELSVIEW_H
#define LEVELSVIEW_H

#include <QAbstractScrollArea>
#include <QModelIndex>
#include <QStaticText>

class LevelsModel;

// A record's levels, painted straight from the levels model in cells of one
// fixed size, 16 channels a row under a label of the row's channels; rows
// scroll. While a show runs every level may change at every refresh: an item
// view's painting, cell by cell through the style, would cost several times
// all the rest of the window.
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
    void layOutTexts();
    void updateScrollRange();
    int labelWidth() const;
    QRect rowRect(int row) const; // in the viewport
    QModelIndex indexAt(const QPoint &position) const;

    LevelsModel *levels = nullptr;
    QSize cell{32, 22};
    QFont laidOutIn;
    bool textsLaidOut = false;
    QStaticText numbers[256];
    QSizeF numberSizes[256]; // asking a laid-out text its size costs more than drawing it
    QVector<QStaticText> labels;
};

#endif // LEVELSVIEW_H
