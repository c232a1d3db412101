#include "monitorwindow.h"

#include "fieldstring.h"
#include "levelsmodel.h"
#include "protocoltext.h"
#include "recordcelldelegate.h"
#include "recordgridmodel.h"
#include "recordsourcesmodel.h"
#include "unreachedmodel.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QStringList>
#include <QStyleOptionViewItem>
#include <QTime>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int CellWidth = 30;
constexpr int CellHeight = 22;

// Cells of one fixed size: a view of numbers that never jumps while they change.
// The styles' own minimum would otherwise win over a small size.
void fixCells(QTableView *view, int width, int height)
{
    for (QHeaderView *header : {view->horizontalHeader(), view->verticalHeader()}) {
        const int size = header == view->horizontalHeader() ? width : height;
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setMinimumSectionSize(size);
        header->setDefaultSectionSize(size);
    }
}

} // namespace

MonitorWindow::MonitorWindow(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    ui.setupUi(this);
    setObjectName(QStringLiteral("DorvantisMonitor"));

    createGrid();
    createLegend();
    createRecordDetails();
    createUnreachedList();
    // The form asks for its designed size, but never less than its contents need.
    resize(size().expandedTo(minimumSizeHint()));
    startRefresh();
}

MonitorWindow::~MonitorWindow() = default;

void MonitorWindow::createGrid()
{
    gridModel = new RecordGridModel(this);
    QTableView *grid = ui.recordGrid;
    grid->setModel(gridModel);
    grid->setItemDelegate(new RecordCellDelegate(grid));
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    // Record 255 has the widest number; styles and fonts differ in what it
    // needs, and some paint a little more margin than their size hint says.
    QStyleOptionViewItem option;
    option.initFrom(grid);
    const QModelIndex widest = gridModel->index(RecordGridModel::Side - 1, RecordGridModel::Side - 1);
    const QSize hint = grid->itemDelegate()->sizeHint(option, widest) + QSize(3, 0);
    const QSize cell = hint.expandedTo(QSize(CellWidth, CellHeight));
    fixCells(grid, cell.width(), cell.height());
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int frame = 2 * grid->frameWidth();
    grid->setFixedSize(grid->horizontalHeader()->length() + frame, grid->verticalHeader()->length() + frame);
    connect(grid->selectionModel(), SIGNAL(currentChanged(QModelIndex, QModelIndex)), this,
            SLOT(selectRecord(QModelIndex)));
}

void MonitorWindow::createLegend()
{
    // Three to a row, in order of precedence; what each means is its tooltip.
    constexpr int PerRow = 3;
    for (int i = 0; i < RecordGridModel::StateCount; ++i) {
        const auto state = RecordGridModel::State(RecordGridModel::StateCount - 1 - i);
        const int row = i / PerRow;
        const int column = i % PerRow * 2;

        auto *swatch = new QLabel(ui.legend);
        swatch->setFixedSize(CellWidth, CellHeight - 6);
        swatch->setFrameShape(QFrame::Box);
        swatch->setAutoFillBackground(true);
        QPalette palette = swatch->palette();
        palette.setColor(QPalette::Window, RecordGridModel::colour(state));
        swatch->setPalette(palette);
        auto *name = new QLabel(RecordGridModel::name(state), ui.legend);
        for (QLabel *label : {swatch, name})
            label->setToolTip(RecordGridModel::meaning(state));

        ui.legendLayout->addWidget(swatch, row, column);
        ui.legendLayout->addWidget(name, row, column + 1);
    }
    for (int column = 1; column < 2 * PerRow; column += 2)
        ui.legendLayout->setColumnStretch(column, 1);
}

void MonitorWindow::createRecordDetails()
{
    sourcesModel = new RecordSourcesModel(this);
    ui.sourcesView->setModel(sourcesModel);
    ui.sourcesView->verticalHeader()->hide();
    ui.sourcesView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.sourcesView->setWordWrap(false);
    ui.sourcesView->horizontalHeader()->setStretchLastSection(true);
    // Columns fit their contents when senders come or go, not at every
    // refresh: fitting lays out every cell's text anew.
    connect(sourcesModel, SIGNAL(modelReset()), ui.sourcesView, SLOT(resizeColumnsToContents()));
    ui.sourcesView->verticalHeader()->setDefaultSectionSize(ui.sourcesView->fontMetrics().height() + 6);

    levelsModel = new LevelsModel(this);
    ui.levelsView->setModel(levelsModel);
    // A level is at most as wide as a record's number.
    ui.levelsView->setCellSize(QSize(ui.recordGrid->horizontalHeader()->defaultSectionSize(),
                                     ui.recordGrid->verticalHeader()->defaultSectionSize()));
}

void MonitorWindow::createUnreachedList()
{
    unreachedModel = new UnreachedModel(this);
    ui.unreachedView->setModel(unreachedModel);
    ui.unreachedView->verticalHeader()->hide();
    ui.unreachedView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.unreachedView->setWordWrap(true);
    ui.unreachedView->horizontalHeader()->setStretchLastSection(true);
    // The advice wraps; each row is as high as its advice needs. Fitted when
    // entries come, go or change places, as for the senders.
    connect(unreachedModel, SIGNAL(modelReset()), this, SLOT(fitUnreachedList()));
}

void MonitorWindow::fitUnreachedList()
{
    ui.unreachedView->resizeColumnsToContents();
    ui.unreachedView->resizeRowsToContents();
}

void MonitorWindow::startRefresh()
{
    clock.start();
    refreshTimer = new QTimer(this);
    connect(refreshTimer, SIGNAL(timeout()), this, SLOT(refresh()));
    refreshTimer->start(RefreshMs);
    ui.recordGrid->setCurrentIndex(gridModel->index(0, 0));
    refresh();
}

void MonitorWindow::refresh()
{
    watch.refresh(clock.elapsed());
    const QString summary = watch.summary();
    ui.programLine->setText(summary);
    if (watch.runsSeen() != runsShown) {
        if (runsShown > 0)
            ui.statusBar->showMessage(tr("Dorvantis started again at %1 (process %2)")
                                          .arg(QTime::currentTime().toString(Qt::ISODate))
                                          .arg(watch.snapshot().program.processId));
        runsShown = watch.runsSeen();
    }

    const NodeSnapshot *shown = watch.isRunning() ? &watch.snapshot() : nullptr;
    const bool gridChanged = gridModel->show(shown);
    // Rows that come or go show at once; the counts in them once a second.
    const bool tablesDue = ++refreshes % TablesEvery == 0;
    if (tablesDue || unreachedModel->rowCount() != (shown ? int(shown->unreached.count) : 0))
        unreachedModel->show(shown);
    showRecord(shown, tablesDue);
    showPortHolders(shown);
    if (gridChanged || summary != loggedSummary)
        logChange(summary, shown);
}

// What the window shows, in one line on the debug output whenever it changes:
// where no window can be looked at, the log still tells.
void MonitorWindow::logChange(const QString &summary, const NodeSnapshot *shown)
{
    QStringList records[RecordGridModel::StateCount];
    if (shown) {
        for (int record = 0; record < NodeState::RecordCount; ++record)
            records[int(gridModel->state(record))] << QString::number(record);
    }
    loggedSummary = summary;
    QString line = summary;
    for (int state = int(RecordGridModel::State::Stale); state < RecordGridModel::StateCount; ++state) {
        if (!records[state].isEmpty())
            line += QStringLiteral("; %1: %2").arg(RecordGridModel::name(RecordGridModel::State(state)),
                                                   records[state].join(QLatin1Char(',')));
    }
    if (line == logged)
        return;
    logged = line;
    qDebug("Dorvantis Monitor: %s", qPrintable(line));
}

void MonitorWindow::selectRecord(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    selected = RecordGridModel::record(index);
    watch.followLevels(selected);
    showRecord(watch.isRunning() ? &watch.snapshot() : nullptr, true);
}

void MonitorWindow::showRecord(const NodeSnapshot *snapshot, bool tablesDue)
{
    const QString state = RecordGridModel::name(gridModel->state(selected));
    ui.recordBox->setTitle(snapshot ? tr("Record %1: %2").arg(selected).arg(state) : tr("Record %1").arg(selected));
    ui.sourcesBox->setTitle(tr("Senders that fed record %1").arg(selected));
    if (tablesDue || sourcesModel->rowCount() != (snapshot ? int(snapshot->records[selected].sourceCount) : 0))
        sourcesModel->show(snapshot, selected);

    if (snapshot && snapshot->levelsRead) {
        const UniverseRecord &levels = snapshot->levels;
        levelsModel->show(&levels);
        // No packet count here: a text that changes at every refresh lays the
        // whole window out anew each time. The senders' table counts packets.
        ui.levelsTitle->setText(tr("Its levels as the visualiser reads them: %1 channels in the last packet")
                                    .arg(levels.length));
    } else {
        levelsModel->show(nullptr);
        ui.levelsTitle->setText(snapshot ? tr("There is no universe data area to read its levels from.")
                                         : tr("Its levels show while Dorvantis runs."));
    }

    if (!snapshot) {
        ui.numbering->setText(tr("The Art-Net and sACN numbers that feed it show while Dorvantis runs."));
        return;
    }
    const ProgramState &program = snapshot->program;
    const RecordState &record = snapshot->records[selected];
    QString sacn;
    if (!program.sacnEnabled)
        sacn = tr("sACN is off (Network/sacn), so it feeds no record.");
    else if (record.sacnListed)
        sacn = tr("sACN universe %1 feeds it.").arg(record.sacnUniverse);
    else
        sacn = tr("sACN does not feed it: Network/universes does not list it.");
    ui.numbering->setText(tr("Art-Net %1 feeds it. %2").arg(artNetText(record.portAddress), sacn));
}

void MonitorWindow::showPortHolders(const NodeSnapshot *snapshot)
{
    const int count = snapshot ? std::min<int>(snapshot->holders.count, NodeState::HolderCount) : 0;
    if (count == 0) {
        ui.portHolders->setText(snapshot ? tr("No other program holds UDP %1 or %2.")
                                               .arg(snapshot->program.artNetPort)
                                               .arg(snapshot->program.sacnPort)
                                         : QString());
        ui.portHolders->setAutoFillBackground(false);
        return;
    }
    QStringList holders;
    for (int i = 0; i < count; ++i) {
        const PortHolderEntry &entry = snapshot->holders.entries[i];
        holders << tr("%1 (process %2, UDP %3)").arg(fieldString(entry.name)).arg(entry.processId).arg(entry.port);
    }
    ui.portHolders->setText(tr("Other programs hold the node's ports: %1. A datagram sent to this PC's address "
                               "(unicast) then reaches only one of them, perhaps not Dorvantis; broadcast and "
                               "multicast reach all.")
                                .arg(holders.join(QStringLiteral(", "))));
    QPalette palette = ui.portHolders->palette();
    palette.setColor(QPalette::Window, RecordGridModel::colour(RecordGridModel::State::HeldBack).lighter(140));
    ui.portHolders->setPalette(palette);
    ui.portHolders->setAutoFillBackground(true);
}
