#include "addcolumns.h"
#include "portaddresses.h"
#include "sacnmerger.h"

#include <QtEndian>
#include <QtTest>

Q_DECLARE_METATYPE(SacnMerger::Outcome)

namespace {

using Outcome = SacnMerger::Outcome;
constexpr qint64 Loss = SacnMerger::NetworkDataLossMs;

Sacn::Cid cid(quint32 n)
{
    Sacn::Cid id = {};
    id.bytes[0] = 0xC1;
    qToBigEndian(n, id.bytes + 12);
    return id;
}

// A source as a console runs it: each packet numbered one on from the last.
struct Source
{
    quint32 id;
    quint16 universe = 1;
    quint8 priority = 100;
    quint8 sequence = 0;
};

// A merger of universes 1-256, what it wrote last, what it handed out as
// outranked, and the sources it reported.
struct Rig
{
    SacnMerger merger;
    int writes = 0;
    int universe = -1;
    QByteArray written;
    QByteArray outranked;
    QStringList events;

    explicit Rig(const QVector<quint16> &universes = portAddresses(1, 256))
    {
        merger.setUniverses(universes);
        merger.setSourceListener([this](const SacnMerger::SourceEvent &event) {
            static const char *const changes[] = {"appeared", "terminated", "timed out"};
            events << QStringLiteral("%1 %2 on %3").arg(QLatin1String(changes[int(event.change)]))
                          .arg(qFromBigEndian<quint32>(event.cid.bytes + 12))
                          .arg(event.universe);
        });
    }

    Outcome send(Source &source, qint64 nowMs, const QByteArray &levels, quint8 options = 0, quint8 startCode = 0)
    {
        SacnDataPacket packet = Sacn::dataPacket(cid(source.id), QStringLiteral("desk"), source.universe,
                                                 int(levels.size()));
        std::memcpy(packet.dmp.values, levels.constData(), std::size_t(levels.size()));
        packet.framing.priority = source.priority;
        packet.framing.sequence = source.sequence++;
        packet.framing.options = options;
        packet.dmp.startCode = startCode;
        Sacn::DataPacket view;
        if (Sacn::parse(reinterpret_cast<const quint8 *>(&packet), Sacn::wireSize(packet), &view)
            != Sacn::Parsed::Data)
            qFatal("the test's packet does not parse");
        SacnLevels taken{};
        const Outcome outcome = merger.take(view, 0x7F000001, nowMs, &taken);
        const QByteArray levelsTaken(reinterpret_cast<const char *>(taken.levels), taken.length);
        if (outcome == Outcome::Written) {
            ++writes;
            universe = taken.universe;
            written = levelsTaken;
        }
        if (outcome == Outcome::NotWinning)
            outranked = levelsTaken;
        if (outcome == Outcome::Written || outcome == Outcome::NotWinning) {
            if (taken.winning != (outcome == Outcome::Written) || taken.priority != source.priority)
                qFatal("the levels handed out do not say how they stand");
        }
        return outcome;
    }
};

} // namespace

class tst_SacnMerger : public QObject
{
    Q_OBJECT

private slots:
    void sequenceWindow_data();
    void sequenceWindow();
    void packetsThatCarryNoLevelsWriteNothing_data();
    void packetsThatCarryNoLevelsWriteNothing();
    void onlyListedUniversesAreTaken_data();
    void onlyListedUniversesAreTaken();

    void highestPriorityWins();
    void equalPrioritiesTakeHighestLevelAndLongestLength();
    void terminatedSourceHandsOverOnTheNextPacket();
    void silentSourceLeavesAfterNetworkDataLoss();

    void sourcesPastTheLimitsWaitForAPlace();
    void floodOfForgedCidsDisplacesNoSendingSource();
};

void tst_SacnMerger::sequenceWindow_data()
{
    addColumns<int>({"last", "next"});
    QTest::addColumn<bool>("taken");

    QTest::newRow("one on") << 10 << 11 << true;
    QTest::newRow("repeated") << 10 << 10 << false;
    QTest::newRow("one behind") << 10 << 9 << false;
    QTest::newRow("19 behind") << 30 << 11 << false;
    QTest::newRow("20 behind: a restart") << 30 << 10 << true;
    QTest::newRow("255 to 0") << 255 << 0 << true;
    QTest::newRow("0 to 255, one behind") << 0 << 255 << false;
    QTest::newRow("5 to 242, 19 behind") << 5 << 242 << false;
    QTest::newRow("5 to 241, 20 behind") << 5 << 241 << true;
    QTest::newRow("127 on") << 0 << 127 << true;
    QTest::newRow("128 on reads 128 behind") << 0 << 128 << true;
}

void tst_SacnMerger::sequenceWindow()
{
    QFETCH(int, last);
    QFETCH(int, next);
    QFETCH(bool, taken);
    Rig rig;
    Source source{1};
    source.sequence = quint8(last);
    QCOMPARE(rig.send(source, 0, "\x01"), Outcome::Written);
    source.sequence = quint8(next);
    QCOMPARE(rig.send(source, 1, "\x02"), taken ? Outcome::Written : Outcome::OutOfSequence);
    QCOMPARE(rig.written, QByteArray(taken ? "\x02" : "\x01"));
}

void tst_SacnMerger::packetsThatCarryNoLevelsWriteNothing_data()
{
    addColumns<int>({"options", "startCode"});
    QTest::addColumn<Outcome>("outcome");

    QTest::newRow("preview") << int(Sacn::OptionPreviewData) << 0 << Outcome::Preview;
    QTest::newRow("per-slot priorities") << 0 << 0xDD << Outcome::OtherStartCode;
    QTest::newRow("start code 0x17") << 0 << 0x17 << Outcome::OtherStartCode;
    QTest::newRow("terminated") << int(Sacn::OptionStreamTerminated) << 0 << Outcome::Terminated;
    QTest::newRow("terminated preview") << int(Sacn::OptionStreamTerminated | Sacn::OptionPreviewData) << 0
                                        << Outcome::Terminated;
    QTest::newRow("force synchronisation") << int(Sacn::OptionForceSynchronization) << 0 << Outcome::Written;
}

void tst_SacnMerger::packetsThatCarryNoLevelsWriteNothing()
{
    QFETCH(int, options);
    QFETCH(int, startCode);
    QFETCH(Outcome, outcome);
    const bool writes = outcome == Outcome::Written;

    // From a new source, and from one that is sending.
    Rig rig;
    Source source{1};
    QCOMPARE(rig.send(source, 0, "\x07\x07", quint8(options), quint8(startCode)), outcome);
    QCOMPARE(rig.merger.sourceCount(1), writes ? 1 : 0);
    QCOMPARE(rig.send(source, 1, "\x01"), Outcome::Written);
    QCOMPARE(rig.send(source, 2, "\x07\x07", quint8(options), quint8(startCode)), outcome);
    QCOMPARE(rig.written, QByteArray(writes ? "\x07\x07" : "\x01"));
    QCOMPARE(rig.writes, writes ? 3 : 1);
    // A terminated stream ends its source, whatever else the packet says.
    QCOMPARE(rig.merger.sourceCount(1), outcome == Outcome::Terminated ? 0 : 1);
}

void tst_SacnMerger::onlyListedUniversesAreTaken_data()
{
    QTest::addColumn<QVector<quint16>>("universes");
    QTest::addColumn<int>("universe");
    QTest::addColumn<bool>("taken");

    const QVector<quint16> some = {63999, 7, 100, 7, 0};
    QTest::newRow("listed") << some << 100 << true;
    QTest::newRow("the last universe") << some << 63999 << true;
    QTest::newRow("not listed") << some << 101 << false;
    QTest::newRow("none listed") << QVector<quint16>() << 1 << false;
    QTest::newRow("only the first 256 listed") << portAddresses(1, 300) << 257 << false;
}

void tst_SacnMerger::onlyListedUniversesAreTaken()
{
    QFETCH(QVector<quint16>, universes);
    QFETCH(int, universe);
    QFETCH(bool, taken);
    Rig rig(universes);
    Source source{1, quint16(universe)};
    QCOMPARE(rig.send(source, 0, "\x09"), taken ? Outcome::Written : Outcome::NotMapped);
    QCOMPARE(rig.universe, taken ? universe : -1);
    QCOMPARE(rig.merger.sourceCount(), taken ? 1 : 0);
}

void tst_SacnMerger::highestPriorityWins()
{
    Rig rig;
    Source low{1, 1, 100};
    Source high{2, 1, 150};
    QCOMPARE(rig.send(low, 0, "\x0A\x0A"), Outcome::Written);
    QCOMPARE(rig.send(high, 10, "\x05"), Outcome::Written);
    QCOMPARE(rig.written, QByteArray("\x05"));
    QCOMPARE(rig.send(low, 20, "\xFF\xFF"), Outcome::NotWinning);
    QCOMPARE(rig.outranked, QByteArray("\xFF\xFF"));
    QCOMPARE(rig.writes, 2);

    // A source may lower its priority from one packet to the next.
    high.priority = 90;
    QCOMPARE(rig.send(high, 30, "\x06"), Outcome::NotWinning);
    QCOMPARE(rig.send(low, 40, "\x0B\x0B"), Outcome::Written);
    QCOMPARE(rig.written, QByteArray("\x0B\x0B"));
}

void tst_SacnMerger::equalPrioritiesTakeHighestLevelAndLongestLength()
{
    Rig rig;
    Source a{1};
    Source b{2};
    Source lower{3, 1, 99};
    QCOMPARE(rig.send(a, 0, QByteArray("\x0A\xC8\x1E", 3)), Outcome::Written);
    QCOMPARE(rig.send(lower, 0, QByteArray(512, '\xFF')), Outcome::NotWinning);
    QCOMPARE(rig.send(b, 0, QByteArray("\x32\x64\x00\x00\x07", 5)), Outcome::Written);
    QCOMPARE(rig.written, QByteArray("\x32\xC8\x1E\x00\x07", 5));
    // Each packet replaces its source's levels; slots it no longer carries count for nothing.
    QCOMPARE(rig.send(a, 1, QByteArray("\x00", 1)), Outcome::Written);
    QCOMPARE(rig.written, QByteArray("\x32\x64\x00\x00\x07", 5));
    QCOMPARE(rig.send(b, 1, QByteArray()), Outcome::Written);
    QCOMPARE(rig.written, QByteArray("\x00", 1));
}

void tst_SacnMerger::terminatedSourceHandsOverOnTheNextPacket()
{
    Rig rig;
    Source backup{1, 1, 100};
    Source main{2, 1, 150};
    rig.send(backup, 0, "\x01");
    rig.send(main, 0, "\x02");
    QCOMPARE(rig.send(main, 10, "\x03", Sacn::OptionStreamTerminated), Outcome::Terminated);
    QCOMPARE(rig.writes, 2);
    // The next two of the three terminated packets find no source.
    QCOMPARE(rig.send(main, 11, "\x03", Sacn::OptionStreamTerminated), Outcome::Terminated);
    QCOMPARE(rig.merger.sourceCount(1), 1);
    QCOMPARE(rig.send(backup, 20, "\x04"), Outcome::Written);
    QCOMPARE(rig.written, QByteArray("\x04"));
    QCOMPARE(rig.events, QStringList({"appeared 1 on 1", "appeared 2 on 1", "terminated 2 on 1"}));

    // The last source leaving writes nothing; a restart is a new source.
    QCOMPARE(rig.send(backup, 30, "\x05", Sacn::OptionStreamTerminated), Outcome::Terminated);
    QCOMPARE(rig.writes, 3);
    backup.sequence = 0;
    QCOMPARE(rig.send(backup, 40, "\x06"), Outcome::Written);
    QCOMPARE(rig.events.mid(3), QStringList({"terminated 1 on 1", "appeared 1 on 1"}));
}

void tst_SacnMerger::silentSourceLeavesAfterNetworkDataLoss()
{
    Rig rig;
    Source backup{1, 1, 100};
    Source main{2, 1, 150};
    Source other{3, 2};
    rig.send(main, 0, "\x02");
    rig.send(other, 0, "\x09");
    QCOMPARE(rig.send(backup, Loss - 1, "\x01"), Outcome::NotWinning);
    QCOMPARE(rig.send(backup, Loss, "\x01"), Outcome::Written);
    QCOMPARE(rig.events,
             QStringList({"appeared 2 on 1", "appeared 3 on 2", "appeared 1 on 1", "timed out 2 on 1"}));

    // Sources everywhere leave when expire() runs, none before their time.
    rig.merger.expire(Loss - 1);
    QCOMPARE(rig.merger.sourceCount(2), 1);
    rig.merger.expire(Loss);
    QCOMPARE(rig.merger.sourceCount(2), 0);
    QCOMPARE(rig.merger.sourceCount(1), 1);
    rig.merger.expire(2 * Loss);
    QCOMPARE(rig.merger.sourceCount(), 0);
    QCOMPARE(rig.events.mid(4), QStringList({"timed out 3 on 2", "timed out 1 on 1"}));
    QCOMPARE(rig.writes, 3);
}

void tst_SacnMerger::sourcesPastTheLimitsWaitForAPlace()
{
    Rig rig;
    QVector<Source> sources;
    for (quint32 id = 0; id <= quint32(SacnMerger::SourcesPerUniverse); ++id)
        sources.append(Source{id});
    for (int i = 0; i < SacnMerger::SourcesPerUniverse; ++i)
        QCOMPARE(rig.send(sources[i], 0, "\x01"), Outcome::Written);
    Source &late = sources.last();
    QCOMPARE(rig.send(late, 1, "\x02"), Outcome::SourceLimit);
    rig.send(sources[3], 2, "\x01", Sacn::OptionStreamTerminated);
    QCOMPARE(rig.send(late, 3, "\x02"), Outcome::Written);

    // In all: every place taken across the universes, the next source waits.
    Rig full;
    for (quint32 id = 0; id < quint32(SacnMerger::MaxSources); ++id) {
        Source source{id, quint16(1 + id / SacnMerger::SourcesPerUniverse)};
        QCOMPARE(full.send(source, 0, "\x01"), Outcome::Written);
    }
    QCOMPARE(full.merger.sourceCount(), SacnMerger::MaxSources);
    Source waiting{99999, 256};
    QCOMPARE(full.send(waiting, 0, "\x01"), Outcome::SourceLimit);
    full.merger.expire(Loss);
    QCOMPARE(full.send(waiting, Loss, "\x01"), Outcome::Written);
}

void tst_SacnMerger::floodOfForgedCidsDisplacesNoSendingSource()
{
    Rig rig;
    Source console{1, 1, 100};
    const QByteArray levels("\x10\x20\x30\x40", 4);
    QCOMPARE(rig.send(console, 0, levels), Outcome::Written);
    int forgedWritten = 0;
    for (quint32 forged = 1000; forged < 6000; ++forged) {
        Source source{forged, 1, 99};
        source.sequence = quint8(forged);
        forgedWritten += rig.send(source, forged, QByteArray(512, '\xFF')) == Outcome::Written;
        if (forged % 10 == 0) {
            QCOMPARE(rig.send(console, forged, levels), Outcome::Written);
            QCOMPARE(rig.written, levels);
        }
    }
    QCOMPARE(forgedWritten, 0);
    QCOMPARE(rig.universe, 1);
    QCOMPARE(rig.merger.sourceCount(1), SacnMerger::SourcesPerUniverse);
    QCOMPARE(rig.merger.sourceCount(), SacnMerger::SourcesPerUniverse);

    // Once the flood stops, its sources leave and newcomers find room.
    QCOMPARE(rig.send(console, 6000, levels), Outcome::Written);
    rig.merger.expire(5999 + Loss);
    QCOMPARE(rig.merger.sourceCount(1), 1);
    Source newcomer{7, 1, 100};
    QCOMPARE(rig.send(newcomer, 5999 + Loss, "\x50"), Outcome::Written);
    QCOMPARE(rig.written, QByteArray("\x50\x20\x30\x40", 4));
}

QTEST_GUILESS_MAIN(tst_SacnMerger)
#include "tst_sacnmerger.moc"
