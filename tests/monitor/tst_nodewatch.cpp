#include "loopbackhost.h"
#include "nodestatewriter.h"
#include "nodewatch.h"
#include "sharedarea.h"

#include <QtTest>

#include <cstring>
#include <memory>

namespace {

using Verdict = NodeWatch::Verdict;

ProgramState running(std::uint32_t instance, std::uint32_t publishes)
{
    ProgramState program = {};
    program.instance = instance;
    program.publishes = publishes;
    program.running = 1;
    program.artNetBound = 1;
    program.address = loopbackHost(1);
    program.artNetPort = 6454;
    std::strcpy(program.version, "1.3");
    return program;
}

} // namespace

Q_DECLARE_METATYPE(NodeWatch::Verdict)

// The watch follows the program through the section that the test writes as
// the program would, on the monitor's clock that the test hands in.
class tst_NodeWatch : public QObject
{
    Q_OBJECT

private slots:
    void tellsWhetherTheProgramRuns();
    void holdsTheAreaOnlyWhileTheProgramRuns();
};

void tst_NodeWatch::tellsWhetherTheProgramRuns()
{
    NodeWatch watch;
    const QString notRunning = QStringLiteral("Dorvantis is not running");
    QCOMPARE(watch.refresh(0), Verdict::Absent);
    QCOMPARE(watch.summary(), notRunning);

    // Made, but nothing published yet.
    auto writer = std::make_unique<NodeStateWriter>();
    QVERIFY(writer->isValid());
    QCOMPARE(watch.refresh(100), Verdict::Ended);

    writer->publishProgram(running(1, 1));
    RecordState record = {};
    record.written = 42;
    writer->publishRecord(3, record);
    QCOMPARE(watch.refresh(200), Verdict::Running);
    QCOMPARE(watch.snapshot().records[3].written, 42u);
    QVERIFY(watch.summary().startsWith(QStringLiteral("Dorvantis 1.3 on 127.0.0.1,")));
    QVERIFY(watch.summary().contains(QStringLiteral("Art-Net UDP 6454 bound")));

    // Publishes that stop without a word: ended after 1.5 s of the monitor's clock.
    QCOMPARE(watch.refresh(1699), Verdict::Running);
    QCOMPARE(watch.refresh(1700), Verdict::Silent);
    QVERIFY(watch.summary().startsWith(notRunning));
    writer->publishProgram(running(1, 2));
    QCOMPARE(watch.refresh(1800), Verdict::Running);

    // Ended as a program ends, and started again in the section the watch holds.
    writer.reset();
    QCOMPARE(watch.refresh(1900), Verdict::Ended);
    writer = std::make_unique<NodeStateWriter>();
    writer->publishProgram(running(2, 1));
    QCOMPARE(watch.refresh(2000), Verdict::Running);
    QCOMPARE(watch.runsSeen(), 2);

    // Killed and started again: a new run's clock starts at its first sight,
    // even when its count happens to match the last one's.
    QCOMPARE(watch.refresh(3000), Verdict::Running);
    writer->publishProgram(running(3, 1));
    QCOMPARE(watch.refresh(3400), Verdict::Running);
    QCOMPARE(watch.refresh(4899), Verdict::Running);
    QCOMPARE(watch.refresh(4900), Verdict::Silent);
    QCOMPARE(watch.runsSeen(), 3);
}

void tst_NodeWatch::holdsTheAreaOnlyWhileTheProgramRuns()
{
    NodeStateWriter writer;
    auto area = std::make_unique<SharedArea>(SharedArea::Mode::Create);
    QVERIFY(area->isValid());
    area->record(9).length = 3;
    area->record(9).data[2] = 77;

    NodeWatch watch;
    watch.followLevels(9);
    writer.publishProgram(running(1, 1));
    QCOMPARE(watch.refresh(0), Verdict::Running);
    QVERIFY(watch.snapshot().levelsRead);
    QCOMPARE(watch.snapshot().levels.length, 3);
    QCOMPARE(watch.snapshot().levels.data[2], std::uint8_t(77));

    // A program that was killed leaves its area with the monitor until it
    // counts as silent; then the area goes, and the next run makes a fresh one.
    area.reset();
    QCOMPARE(watch.refresh(100), Verdict::Running);
    QCOMPARE(watch.refresh(NodeWatch::SilentAfterMs), Verdict::Silent);
    QVERIFY(!watch.snapshot().levelsRead);
    QVERIFY(!SharedArea::exists());

    area = std::make_unique<SharedArea>(SharedArea::Mode::Create);
    area->record(9).length = 3;
    writer.publishProgram(running(2, 1));
    QCOMPARE(watch.refresh(NodeWatch::SilentAfterMs + 100), Verdict::Running);
    QVERIFY(watch.snapshot().levelsRead);
    QCOMPARE(watch.snapshot().levels.data[2], std::uint8_t(0));
}

QTEST_GUILESS_MAIN(tst_NodeWatch)
#include "tst_nodewatch.moc"
