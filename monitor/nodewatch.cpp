#include "nodewatch.h"

#include "fieldstring.h"
#include "protocoltext.h"

#include <QStringList>

#include <cstring>

NodeWatch::NodeWatch()
    : copy(new NodeSnapshot())
    , line(describeProgram())
{
}

NodeWatch::~NodeWatch() = default;

NodeWatch::Verdict NodeWatch::refresh(qint64 nowMs)
{
    switch (reader.attach()) {
    case NodeStateReader::Status::Absent:
        current = Verdict::Absent;
        break;
    case NodeStateReader::Status::Incompatible:
        current = Verdict::Incompatible;
        break;
    case NodeStateReader::Status::Attached:
        follow(nowMs);
        break;
    }
    copyLevels();
    describe();
    return current;
}

void NodeWatch::followLevels(int record)
{
    levelsRecord = qBound(0, record, UniverseData::UniverseCount - 1);
    copyLevels();
}

void NodeWatch::copyLevels()
{
    copy->levelsRead = false;
    if (!isRunning() || levelsInstance != instance) {
        levelsArea.release();
        levelsInstance = 0;
    }
    if (!isRunning())
        return;
    if (!levelsArea.isValid() && levelsArea.attach(SharedArea::Mode::OpenRead))
        levelsInstance = instance;
    if (!levelsArea.isValid())
        return;
    std::memcpy(&copy->levels, &levelsArea.record(levelsRecord), sizeof copy->levels);
    copy->levelsRead = true;
}

void NodeWatch::follow(qint64 nowMs)
{
    NodeSnapshot &shot = *copy;
    ProgramState program;
    if (reader.readProgram(program))
        shot.program = program;
    RecordState record;
    for (int i = 0; i < NodeState::RecordCount; ++i) {
        if (reader.readRecord(i, record))
            std::memcpy(&shot.records[i], &record, usedBytes(record));
    }
    UnreachedState unreached;
    if (reader.readUnreached(unreached))
        shot.unreached = unreached;
    PortHoldersState holders;
    if (reader.readHolders(holders))
        shot.holders = holders;

    if (shot.program.instance != instance) {
        // A new run counts up from its own start; the last run's count says
        // nothing about it.
        instance = shot.program.instance;
        if (instance != 0)
            ++runs;
        publishes = shot.program.publishes;
        advancedMs = nowMs;
    } else if (shot.program.publishes != publishes) {
        publishes = shot.program.publishes;
        advancedMs = nowMs;
    }

    if (instance == 0 || !shot.program.running)
        current = Verdict::Ended;
    else if (nowMs - advancedMs >= SilentAfterMs)
        current = Verdict::Silent;
    else
        current = Verdict::Running;
}

void NodeWatch::describe()
{
    ProgramState told = copy->program;
    told.nowMs = 0;
    told.publishes = 0;
    told.malformedArtNet = told.malformedSacn = 0;
    // An incompatible section says little, but its version may change.
    if (current != Verdict::Incompatible && current == described
        && std::memcmp(&told, &describedProgram, sizeof told) == 0)
        return;
    described = current;
    describedProgram = told;
    line = describeProgram();
}

QString NodeWatch::describeProgram() const
{
    switch (current) {
    case Verdict::Absent:
        return tr("Dorvantis is not running");
    case Verdict::Ended:
        return tr("Dorvantis is not running (it has ended)");
    case Verdict::Silent:
        return tr("Dorvantis is not running (it stopped publishing its state without ending)");
    case Verdict::Incompatible:
        return tr("Dorvantis is running, but publishes its state in layout %1, and this monitor reads layout %2: "
                  "use the monitor of the same release")
            .arg(reader.foundVersion())
            .arg(NodeState::Version);
    case Verdict::Running:
        break;
    }

    const ProgramState &p = copy->program;
    QStringList parts;
    parts << tr("Dorvantis %1 on %2, replies to %3")
                 .arg(fieldString(p.version), addressText(p.address), addressText(p.broadcast));
    if (p.artNetBound)
        parts << tr("Art-Net UDP %1 bound").arg(p.artNetPort);
    else
        parts << tr("Art-Net UDP %1 not bound: %2").arg(p.artNetPort).arg(fieldString(p.artNetError));
    if (!p.sacnEnabled)
        parts << tr("sACN off");
    else if (p.sacnBound)
        parts << tr("sACN UDP %1 bound, %2 multicast groups joined").arg(p.sacnPort).arg(p.sacnGroups);
    else
        parts << tr("sACN UDP %1 not bound: %2").arg(p.sacnPort).arg(fieldString(p.sacnError));
    switch (NodeState::MergeMode(p.mergeMode)) {
    case NodeState::MergeMode::Htp:
        parts << tr("Art-Net merge HTP");
        break;
    case NodeState::MergeMode::Ltp:
        parts << tr("Art-Net merge LTP");
        break;
    default:
        parts << tr("Art-Net: the latest ArtDmx wins");
        break;
    }
    parts << tr("record 0 = Art-Net %1, sACN universe %2").arg(artNetText(p.artNetFirst)).arg(p.sacnFirst);
    return parts.join(QStringLiteral("  \u00b7  "));
}
