#include "statepublisher.h"

#include "artnetengine.h"
#include "portholders.h"
#include "receivepipeline.h"
#include "sacnreceiver.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

// The section's codes are its own, documented with its layout; they are kept
// equal to the receive layer's so that a cast converts them.
static_assert(int(NodeState::Held::ThirdSource) == int(HeldBack::ThirdSource)
                  && int(NodeState::Held::ArtNetFirst) == int(HeldBack::ArtNetFirst),
              "held-back codes");
static_assert(int(NodeState::SourceProtocol::Sacn) == int(Protocol::Sacn), "protocol codes");
static_assert(int(NodeState::Unreached::Malformed) == int(UnreachedLog::Reason::Malformed)
                  && int(NodeState::Unreached::HeldByArtNet) == int(UnreachedLog::Reason::HeldByArtNet),
              "unreached codes");
static_assert(int(NodeState::MergeMode::Ltp) == int(ArtNetMerge::Mode::Ltp)
                  && int(NodeState::MergeMode::Htp) == int(ArtNetMerge::Mode::Htp),
              "merge mode codes");

template <std::size_t Size>
void copyText(char (&field)[Size], const QByteArray &text)
{
    std::memset(field, 0, Size);
    std::memcpy(field, text.constData(), qMin<std::size_t>(Size - 1, std::size_t(text.size())));
}

void copySource(SourceState &to, const SourceTable::Source &from, qint64 nowMs)
{
    to.protocol = std::uint8_t(from.protocol);
    to.held = std::uint8_t(from.held);
    to.priority = from.priority;
    to.reserved = 0;
    to.address = from.address;
    to.port = from.port;
    to.universe = from.universe;
    std::memcpy(to.cid, from.cid, sizeof to.cid);
    std::memcpy(to.sourceName, from.sourceName, sizeof to.sourceName);
    to.packetsPerSecond = SourceTable::packetsPerSecond(from, nowMs);
    to.sinceMs = from.sinceMs;
    to.lastMs = from.lastMs;
    to.packets = from.packets;
    to.heldPackets = from.heldPackets;
}

} // namespace

StatePublisher::StatePublisher(const ReceivePipeline &pipeline, QObject *parent)
    : QObject(parent),
      pipeline(pipeline),
      timer(new QTimer(this))
{
    const ReceiveOptions &options = pipeline.options();
    program.processId = std::uint32_t(QCoreApplication::applicationPid());
    program.instance = QRandomGenerator::global()->generate();
    program.running = 1;
    program.address = options.address.toIPv4Address();
    program.artNetPort = options.artNetPort;
    program.sacnPort = options.sacnPort;
    program.artNetFirst = options.artNetFirst;
    program.sacnFirst = options.sacnFirst;
    program.mergeMode = std::uint8_t(options.artNetMerge);
    program.sacnEnabled = options.sacn;
    copyText(program.version, QCoreApplication::applicationVersion().toUtf8());

    timer->setInterval(IntervalMs);
    connect(timer, SIGNAL(timeout()), this, SLOT(publish()));
    timer->start();
    publish();
}

void StatePublisher::publish()
{
    const qint64 nowMs = pipeline.nowMs();
    // Records first: a reader that sees the new time sees records at least as new.
    publishRecords(nowMs);
    publishUnreached();
    publishHolders(nowMs);
    publishProgram(nowMs);
}

void StatePublisher::publishHolders(qint64 nowMs)
{
    if (holdersScanned && nowMs - lastHolderScanMs < HolderScanIntervalMs)
        return;
    holdersScanned = true;
    lastHolderScanMs = nowMs;
    const ReceiveOptions &options = pipeline.options();
    std::vector<std::uint16_t> ports{options.artNetPort};
    if (options.sacn)
        ports.push_back(options.sacnPort);
    writer.publishHolders(PortHolders::sectionState(PortHolders::find(ports, program.processId), nowMs));
}

void StatePublisher::publishProgram(qint64 nowMs)
{
    const ArtNetEngine *engine = pipeline.engine();
    const SacnReceiver *sacn = pipeline.sacnReceiver();
    program.nowMs = nowMs;
    ++program.publishes;
    program.broadcast = engine->broadcastAddress().toIPv4Address();
    program.artNetBound = pipeline.artNetBound();
    program.sacnBound = pipeline.sacnBound();
    program.sacnGroups = std::uint16_t(sacn ? sacn->joinedGroups() : 0);
    program.malformedArtNet = engine->shortArtDmxCount();
    program.malformedSacn = sacn ? sacn->counters().malformed() : 0;
    copyText(program.artNetError, pipeline.artNetFailure().toUtf8());
    copyText(program.sacnError, pipeline.sacnFailure().toUtf8());
    writer.publishProgram(program);
}

void StatePublisher::publishRecords(qint64 nowMs)
{
    const RecordRouter &router = pipeline.router();
    const SourceTable &table = router.sources();
    const UniverseMap &map = pipeline.universeMap();
    const std::vector<std::uint16_t> &listed = map.records();
    auto nextListed = listed.cbegin();
    RecordState state;
    for (int record = 0; record < NodeState::RecordCount; ++record) {
        std::memset(&state, 0, sizeof state);
        state.written = router.written(record);
        state.lastWrittenMs = router.lastWrittenMs(record);
        state.portAddress = map.portAddressOf(record);
        while (nextListed != listed.cend() && *nextListed < record)
            ++nextListed;
        state.sacnListed = pipeline.options().sacn && nextListed != listed.cend() && *nextListed == record;
        state.sacnUniverse = state.sacnListed ? map.sacnUniverseOf(record) : 0;
        state.merging = router.merging(record);
        state.sourceCount = std::uint8_t(table.count(record));
        for (int i = 0; i < state.sourceCount; ++i)
            copySource(state.sources[i], table.source(record, i), nowMs);
        writer.publishRecord(record, state);
    }
}

void StatePublisher::publishUnreached()
{
    const UnreachedLog &log = pipeline.router().unreached();
    UnreachedState state;
    std::memset(&state, 0, sizeof state);
    state.count = std::uint32_t(log.count());
    int order[UnreachedLog::Capacity];
    std::iota(order, order + log.count(), 0);
    std::sort(order, order + log.count(),
              [&log](int a, int b) { return log.entry(a).lastMs > log.entry(b).lastMs; });
    for (int i = 0; i < log.count(); ++i) {
        const UnreachedLog::Entry &from = log.entry(order[i]);
        UnreachedEntry &to = state.entries[i];
        to.reason = std::uint8_t(from.reason);
        to.protocol = std::uint8_t(from.protocol);
        to.record = std::int16_t(from.record);
        to.address = from.address;
        to.port = from.port;
        to.universe = from.universe;
        to.count = from.count;
        to.firstMs = from.firstMs;
        to.lastMs = from.lastMs;
    }
    writer.publishUnreached(state);
}
