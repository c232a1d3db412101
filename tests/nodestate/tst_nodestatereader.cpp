// The one reader every monitor uses: every copy is whole while a writer in another process
// rewrites records flat out, and a reader holding the section follows the program's restart.
#include "childprocess.h"
#include "nodestatereader.h"
#include "nodestatewriter.h"
#include "plaintest.h"
#include <cstring>
#include <memory>

PLAINTEST(everyCopyIsWholeWhileTheWriterRewritesRecordsFlatOut)
{
    ChildProcess peer({NODESTATEPEER_FILE});
    NodeStateReader reader;
    RecordState copy = {};
    // Record 0 has a count once the writer has been over every record.
    for (int i = 0; i < 3000 && !(reader.attach() == NodeStateReader::Status::Attached && reader.readRecord(0, copy)
                                  && copy.written); ++i)
        pause10ms();
    // About a second of reads, longer while the writer has not been over all records 1000 times.
    const std::uint64_t enough = copy.written + 1000 * NodeState::RecordCount;
    std::uint64_t latest = copy.written;
    long reads = 0, failed = 0;
    for (; reads < 80000000 && (reads < 8000000 || latest < enough); ++reads) {
        if (!reader.readRecord(static_cast<int>(reads % NodeState::RecordCount), copy)) {
            ++failed;
            continue;
        }
        RecordState whole;
        std::memset(&whole, static_cast<int>(copy.written / NodeState::RecordCount), sizeof whole);
        whole.written = copy.written;
        PT_CHECK(std::memcmp(&copy, &whole, usedBytes(whole)) == 0);
        latest = copy.written > latest ? copy.written : latest;
    }
    PT_CHECK(latest >= enough && failed * 10 < reads);
}

PLAINTEST(aReaderHoldingTheSectionFollowsTheProgramThroughItsEndAndRestart)
{
    NodeStateReader reader;
    PT_CHECK(reader.attach() == NodeStateReader::Status::Absent);
    ProgramState program = {}, seen = {};
    program.running = 1;
    auto writer = std::make_unique<NodeStateWriter>();
    writer->publishProgram(program);
    PT_CHECK(reader.attach() == NodeStateReader::Status::Attached && reader.readProgram(seen) && seen.running == 1);
    writer.reset();
    PT_CHECK(reader.readProgram(seen) && seen.running == 0);
    program.instance = 2;
    writer = std::make_unique<NodeStateWriter>();
    writer->publishProgram(program);
    PT_CHECK(reader.readProgram(seen) && seen.instance == 2 && seen.running == 1);
}

PLAINTEST_MAIN()
