#ifndef MONITORWINDOW_H
#define MONITORWINDOW_H

#include "nodewatch.h"
#include "ui_monitorwindow.h"

#include <QElapsedTimer>
#include <QMainWindow>

class LevelsModel;
class RecordGridModel;
class RecordSourcesModel;
class UnreachedModel;
class QModelIndex;
class QTimer;

// Dorvantis Monitor's window: the program's state in one line, the records
// as a grid coloured by what feeds them, the chosen record's senders,
// numbers and levels, what arrives but reaches no record, and the other
// programs on the node's ports. It reads the state section and the universe
// data area ten times a second and writes nothing anywhere.
class MonitorWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int RefreshMs = 100;
    // The tables of senders and of what reaches no record count on at every
    // refresh while data flows; told once a second, like the rates in them,
    // they stay readable, and repainting their text would cost more than the
    // rest of a refresh.
    static constexpr int TablesEvery = 10;

    explicit MonitorWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~MonitorWindow() override;

private slots:
    void refresh();
    void fitUnreachedList();
    void selectRecord(const QModelIndex &index);

private:
    void logChange(const QString &summary, const NodeSnapshot *shown);
    void createGrid();
    void createLegend();
    void createRecordDetails();
    void createUnreachedList();
    void startRefresh();
    void showRecord(const NodeSnapshot *snapshot, bool tablesDue);
    void showPortHolders(const NodeSnapshot *snapshot);

    Ui::MonitorWindowClass ui;
    NodeWatch watch;
    QElapsedTimer clock;
    QTimer *refreshTimer = nullptr;
    RecordGridModel *gridModel = nullptr;
    RecordSourcesModel *sourcesModel = nullptr;
    LevelsModel *levelsModel = nullptr;
    UnreachedModel *unreachedModel = nullptr;
    int selected = 0;
    int runsShown = 0;
    int refreshes = 0;
    QString logged;
    QString loggedSummary;
};

#endif // MONITORWINDOW_H
