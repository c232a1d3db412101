#include "recordgridmodel.h"

#include <QColor>
#include <QVector>
#include <QtTest>

#include <memory>

namespace {

// A sender of the record, seen `agoMs` before the program's last publish.
struct Seen
{
    NodeState::SourceProtocol protocol;
    int agoMs;
    NodeState::Held held;
};

Seen artNet(int agoMs, NodeState::Held held = NodeState::Held::No)
{
    return {NodeState::SourceProtocol::ArtNet, agoMs, held};
}

Seen sacn(int agoMs, NodeState::Held held = NodeState::Held::No)
{
    return {NodeState::SourceProtocol::Sacn, agoMs, held};
}

constexpr std::int64_t NowMs = 100000;
constexpr int Record = 37; // row 2, column 5

} // namespace

using SeenList = QVector<Seen>;
Q_DECLARE_METATYPE(SeenList)
Q_DECLARE_METATYPE(NodeState::MergeMode)
Q_DECLARE_METATYPE(RecordGridModel::State)

// Each record's colour is the state of highest precedence that applies:
// fighting, merging, held back, live, stale, never fed.
class tst_RecordGridModel : public QObject
{
    Q_OBJECT

private slots:
    void recordShowsWhatFeedsIt_data();
    void recordShowsWhatFeedsIt();
    void withoutTheProgramEveryRecordIsNeverFed();
};

void tst_RecordGridModel::recordShowsWhatFeedsIt_data()
{
    QTest::addColumn<NodeState::MergeMode>("mode");
    QTest::addColumn<int>("writtenAgoMs"); // -1: never written
    QTest::addColumn<bool>("merging");
    QTest::addColumn<SeenList>("senders");
    QTest::addColumn<RecordGridModel::State>("state");

    using State = RecordGridModel::State;
    using Held = NodeState::Held;
    const auto latest = NodeState::MergeMode::Latest;
    const auto htp = NodeState::MergeMode::Htp;
    QTest::newRow("nothing ever") << latest << -1 << false << SeenList{} << State::NeverFed;
    QTest::newRow("written now") << latest << 0 << false << SeenList{artNet(0)} << State::Live;
    QTest::newRow("written 3 s ago") << latest << 3000 << false << SeenList{artNet(3000)} << State::Live;
    QTest::newRow("written just over 3 s ago") << latest << 3001 << false << SeenList{artNet(3001)} << State::Stale;
    QTest::newRow("senders seen, never written") << latest << -1 << false
                                                 << SeenList{sacn(10000, Held::ArtNetFirst)} << State::Stale;
    QTest::newRow("sACN held by live Art-Net") << latest << 0 << false
                                               << SeenList{artNet(0), sacn(100, Held::ArtNetFirst)} << State::HeldBack;
    QTest::newRow("held only long ago") << latest << 0 << false << SeenList{artNet(0), sacn(3500, Held::Outranked)}
                                        << State::Live;
    QTest::newRow("merging, a third held") << htp << 0 << true
                                           << SeenList{artNet(0), artNet(0), artNet(100, Held::ThirdSource)}
                                           << State::Merging;
    QTest::newRow("two Art-Net, latest wins") << latest << 0 << false << SeenList{artNet(0), artNet(2999)}
                                              << State::Fighting;
    QTest::newRow("fighting over merging and held") << latest << 0 << true
                                                    << SeenList{artNet(0), artNet(0), sacn(0, Held::ArtNetFirst)}
                                                    << State::Fighting;
    QTest::newRow("second Art-Net gone quiet") << latest << 0 << false << SeenList{artNet(0), artNet(3001)}
                                               << State::Live;
    QTest::newRow("two Art-Net with LTP") << NodeState::MergeMode::Ltp << 0 << false
                                          << SeenList{artNet(0), artNet(0)} << State::Live;
    QTest::newRow("two sACN sources merge") << latest << 0 << false << SeenList{sacn(0), sacn(0)} << State::Live;
}

void tst_RecordGridModel::recordShowsWhatFeedsIt()
{
    QFETCH(NodeState::MergeMode, mode);
    QFETCH(int, writtenAgoMs);
    QFETCH(bool, merging);
    QFETCH(SeenList, senders);
    QFETCH(RecordGridModel::State, state);

    auto snapshot = std::make_unique<NodeSnapshot>();
    snapshot->program.nowMs = NowMs;
    snapshot->program.mergeMode = std::uint8_t(mode);
    for (RecordState &record : snapshot->records)
        record.lastWrittenMs = -1;
    RecordState &record = snapshot->records[Record];
    record.written = writtenAgoMs < 0 ? 0 : 10;
    record.lastWrittenMs = writtenAgoMs < 0 ? -1 : NowMs - writtenAgoMs;
    record.merging = merging;
    record.sourceCount = std::uint8_t(senders.size());
    for (int i = 0; i < senders.size(); ++i) {
        record.sources[i].protocol = std::uint8_t(senders[i].protocol);
        record.sources[i].held = std::uint8_t(senders[i].held);
        record.sources[i].lastMs = NowMs - senders[i].agoMs;
    }

    RecordGridModel model;
    model.show(snapshot.get());
    const QModelIndex cell = model.index(2, 5);
    QCOMPARE(model.data(cell).toInt(), Record);
    QCOMPARE(RecordGridModel::State(model.data(cell, RecordGridModel::StateRole).toInt()), state);
    QCOMPARE(model.data(cell, Qt::BackgroundRole).value<QColor>(), RecordGridModel::colour(state));
    QVERIFY(model.data(cell, Qt::ToolTipRole).toString().startsWith(
        QStringLiteral("Record 37: %1\n").arg(RecordGridModel::name(state))));
    // Its neighbours in the grid were never fed.
    for (const QModelIndex &other : {model.index(2, 4), model.index(2, 6), model.index(3, 5)})
        QCOMPARE(model.data(other, RecordGridModel::StateRole).toInt(), int(RecordGridModel::State::NeverFed));
}

void tst_RecordGridModel::withoutTheProgramEveryRecordIsNeverFed()
{
    auto snapshot = std::make_unique<NodeSnapshot>();
    snapshot->program.nowMs = NowMs;
    snapshot->records[0].written = 1;
    snapshot->records[0].lastWrittenMs = NowMs;

    RecordGridModel model;
    QSignalSpy changed(&model, SIGNAL(dataChanged(QModelIndex, QModelIndex)));
    model.show(snapshot.get());
    QCOMPARE(model.state(0), RecordGridModel::State::Live);
    model.show(nullptr);
    QCOMPARE(model.state(0), RecordGridModel::State::NeverFed);
    // Only the cell whose state changed is told, each time.
    QCOMPARE(changed.count(), 2);
    for (const QList<QVariant> &cells : changed)
        QCOMPARE(cells.at(1).toModelIndex(), model.index(0, 0));
}

QTEST_GUILESS_MAIN(tst_RecordGridModel)
#include "tst_recordgridmodel.moc"
