#ifndef NODEWATCH_H
#define NODEWATCH_H

// Follows the program through its state section on the monitor's own clock:
// attaches when the section appears, copies it at every refresh and tells
// whether the program runs. A program runs while it says so and its publish
// count keeps moving; one that stops publishing without a word (killed,
// hung) counts as ended after SilentAfterMs. A new run of the program shows
// as a new instance in the same section. While the program runs, each
// refresh also copies the levels of one record from the universe data area.
// The area is held only while one run of the program is seen running: a
// monitor must not keep an area alive that a program started again would
// take over with the levels of its last run. A program that starts again
// makes its area after its address dialog, long after the monitor has let
// the last one go. Both are only ever read.

#include "nodesnapshot.h"
#include "nodestatereader.h"
#include "sharedarea.h"

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <memory>

class NodeWatch
{
    Q_DECLARE_TR_FUNCTIONS(NodeWatch)

public:
    enum class Verdict { Absent, Incompatible, Ended, Silent, Running };
    static constexpr qint64 SilentAfterMs = 1500;

    NodeWatch();
    ~NodeWatch();
    NodeWatch(const NodeWatch &) = delete;
    NodeWatch &operator=(const NodeWatch &) = delete;

    // `nowMs` is the monitor's clock, never decreasing.
    Verdict refresh(qint64 nowMs);
    // The record whose levels each refresh copies; copied at once too.
    void followLevels(int record);
    bool isRunning() const { return current == Verdict::Running; }
    // Runs of the program seen since the monitor started.
    int runsSeen() const { return runs; }
    // The copy of the last refresh; a block that was being rewritten every
    // time it was looked at keeps the copy before.
    const NodeSnapshot &snapshot() const { return *copy; }
    // The program's state in one line, or why it is not running.
    const QString &summary() const { return line; }

private:
    void follow(qint64 nowMs);
    void copyLevels();
    void describe();
    QString describeProgram() const;

    NodeStateReader reader;
    std::unique_ptr<NodeSnapshot> copy;
    SharedArea levelsArea;
    std::uint32_t levelsInstance = 0; // the run whose area is held
    int levelsRecord = 0;
    Verdict current = Verdict::Absent;
    std::uint32_t instance = 0;
    std::uint32_t publishes = 0;
    qint64 advancedMs = 0;
    int runs = 0;
    // The line is written anew only when what it tells changed: the counts
    // and the clock in the program's block move at every publish.
    QString line;
    Verdict described = Verdict::Absent;
    ProgramState describedProgram = {};
};

#endif // NODEWATCH_H
