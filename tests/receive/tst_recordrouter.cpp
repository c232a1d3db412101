#include "bytelist.h"
#include "recordrouter.h"

#include <QtTest>

namespace {

constexpr qint64 Hold = RecordRouter::ArtNetHoldMs;

// A router whose writes and merge changes are written down as text.
struct Rig
{
    explicit Rig(ArtNetMerge::Mode mode = ArtNetMerge::Mode::Latest)
        : router(mode, [this](int record, const quint8 *levels, int length) {
              writes << QStringLiteral("%1:%2").arg(record).arg(
                  QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(levels), length).toHex()));
          })
    {
        router.setMergeListener([this](int record, bool merging) {
            merges << QStringLiteral("%1 %2").arg(record).arg(merging ? "merging" : "single");
        });
    }

    void artNet(int record, quint32 sender, const QByteArray &levels, qint64 nowMs)
    {
        take(record, FrameOrigin{Protocol::ArtNet, sender, 6454, quint16(record), nullptr, nullptr, 0}, levels,
             HeldBack::No, nowMs);
    }

    void sacn(int record, quint8 cidByte, const QByteArray &levels, qint64 nowMs, HeldBack held = HeldBack::No)
    {
        const quint8 cid[16] = {cidByte};
        const char name[64] = "desk";
        take(record, FrameOrigin{Protocol::Sacn, 0x7F000001, 5568, quint16(record + 1), cid, name, 100}, levels,
             held, nowMs);
    }

    void take(int record, const FrameOrigin &origin, const QByteArray &levels, HeldBack held, qint64 nowMs)
    {
        router.take(ReceiveFrame{record, reinterpret_cast<const quint8 *>(levels.constData()), int(levels.size()),
                                 origin, held},
                    nowMs);
    }

    const SourceTable::Source &source(int record, int index) const { return router.sources().source(record, index); }

    RecordRouter router;
    QStringList writes;
    QStringList merges;
};

} // namespace

class tst_RecordRouter : public QObject
{
    Q_OBJECT

private slots:
    void artNetHoldsItsRecordAgainstSacnFor2500Ms();
    void mergeIsToldWhenItStartsAndEnds();
    void everySourceIsListedWithWhatBecameOfIt();
    void heldDataIsLoggedOncePerSenderAndReason();
    void rateCountsTheLastWholeSecondAndFallsToZeroInSilence();
};

void tst_RecordRouter::artNetHoldsItsRecordAgainstSacnFor2500Ms()
{
    Rig rig;
    // Before any ArtDmx, sACN has every record.
    rig.sacn(5, 1, bytes({1}), 1000);
    rig.artNet(5, 0x7F000002, bytes({0xa0}), 1000);
    rig.sacn(5, 1, bytes({2}), 1000 + Hold - 1);
    // Only the record Art-Net feeds is held.
    rig.sacn(6, 1, bytes({3}), 1000 + Hold - 1);
    // Art-Net is written whenever it comes, and holds the record anew.
    rig.artNet(5, 0x7F000002, bytes({0xb0}), 1000 + Hold - 1);
    rig.sacn(5, 1, bytes({4}), 1000 + 2 * Hold - 2);
    // 2.5 s after the last ArtDmx, sACN takes over with its next levels.
    rig.sacn(5, 1, bytes({5}), 1000 + 2 * Hold - 1);
    QCOMPARE(rig.writes, QStringList({"5:01", "5:a0", "6:03", "5:b0", "5:05"}));
    QCOMPARE(rig.source(5, 0).held, HeldBack::No);
    QCOMPARE(rig.source(5, 0).heldPackets, quint64(2));
}

void tst_RecordRouter::mergeIsToldWhenItStartsAndEnds()
{
    Rig rig(ArtNetMerge::Mode::Htp);
    rig.artNet(7, 0x7F000002, bytes({1, 9}), 0);
    rig.artNet(7, 0x7F000003, bytes({5}), 1);
    rig.artNet(7, 0x7F000004, bytes({0xff}), 2);
    QCOMPARE(rig.writes, QStringList({"7:0109", "7:0509"}));
    QCOMPARE(rig.merges, QStringList({"7 merging"}));
    QVERIFY(rig.router.merging(7));
    QCOMPARE(rig.source(7, 2).held, HeldBack::ThirdSource);

    // The first source falls silent: the merge ends once it is looked for.
    rig.router.expire(ArtNetMerge::SourceTimeoutMs - 1);
    QVERIFY(rig.router.merging(7));
    rig.router.expire(ArtNetMerge::SourceTimeoutMs);
    QCOMPARE(rig.merges, QStringList({"7 merging", "7 single"}));
    QVERIFY(!rig.router.merging(7));
}

void tst_RecordRouter::everySourceIsListedWithWhatBecameOfIt()
{
    Rig rig;
    rig.sacn(3, 1, bytes({1}), 10);
    rig.sacn(3, 2, bytes({2}), 20, HeldBack::Outranked);
    rig.sacn(3, 1, bytes({3}), 30);
    rig.artNet(3, 0x7F000002, bytes({4}), 40);
    rig.sacn(3, 1, bytes({5}), 50);
    QCOMPARE(rig.router.sources().count(3), 3);
    const SourceTable::Source &desk = rig.source(3, 0);
    QCOMPARE(desk.protocol, Protocol::Sacn);
    QCOMPARE(QByteArray(desk.sourceName), QByteArray("desk"));
    QCOMPARE(desk.universe, quint16(4));
    QCOMPARE(desk.sinceMs, qint64(10));
    QCOMPARE(desk.lastMs, qint64(50));
    QCOMPARE(desk.packets, quint64(3));
    QCOMPARE(desk.heldPackets, quint64(1));
    QCOMPARE(desk.held, HeldBack::ArtNetFirst);
    QCOMPARE(rig.source(3, 1).held, HeldBack::Outranked);
    QCOMPARE(rig.source(3, 2).address, 0x7F000002u);

    // A full list takes a newcomer in the place of the one heard from longest ago.
    for (int i = 0; i < SourceTable::SourcesPerRecord; ++i)
        rig.artNet(3, 0x0A000000u + quint32(i), bytes({}), 60 + i);
    QCOMPARE(rig.router.sources().count(3), SourceTable::SourcesPerRecord);
    for (int i = 0; i < SourceTable::SourcesPerRecord; ++i)
        QVERIFY(rig.source(3, i).lastMs >= 50);

    // Silent sources are forgotten, each after its own silence.
    rig.router.expire(59 + SourceTable::ForgetAfterMs);
    QCOMPARE(rig.router.sources().count(3), SourceTable::SourcesPerRecord);
    rig.router.expire(60 + SourceTable::ForgetAfterMs);
    QCOMPARE(rig.router.sources().count(3), SourceTable::SourcesPerRecord - 1);
}

void tst_RecordRouter::heldDataIsLoggedOncePerSenderAndReason()
{
    Rig rig(ArtNetMerge::Mode::Htp);
    rig.artNet(4, 0x7F000002, bytes({1}), 0);
    rig.artNet(4, 0x7F000003, bytes({2}), 1);
    for (int i = 0; i < 3; ++i)
        rig.artNet(4, 0x7F000004, bytes({3}), 2 + i);
    rig.sacn(4, 1, bytes({4}), 10);
    rig.router.noteUnreached(UnreachedLog::Reason::PortAddressUnmapped,
                             FrameOrigin{Protocol::ArtNet, 0x7F000005, 6454, 300, nullptr, nullptr, 0}, 20);

    const UnreachedLog &log = rig.router.unreached();
    QCOMPARE(log.count(), 3);
    QCOMPARE(log.entry(0).reason, UnreachedLog::Reason::ThirdSource);
    QCOMPARE(log.entry(0).address, 0x7F000004u);
    QCOMPARE(log.entry(0).record, 4);
    QCOMPARE(log.entry(0).count, quint64(3));
    QCOMPARE(log.entry(0).firstMs, qint64(2));
    QCOMPARE(log.entry(0).lastMs, qint64(4));
    QCOMPARE(log.entry(1).reason, UnreachedLog::Reason::HeldByArtNet);
    QCOMPARE(log.entry(1).universe, quint16(5));
    QCOMPARE(log.entry(2).universe, quint16(300));
    QCOMPARE(log.entry(2).record, -1);

    rig.router.expire(20 + UnreachedLog::ForgetAfterMs - 1);
    QCOMPARE(log.count(), 1);
    rig.router.expire(20 + UnreachedLog::ForgetAfterMs);
    QCOMPARE(log.count(), 0);
}

void tst_RecordRouter::rateCountsTheLastWholeSecondAndFallsToZeroInSilence()
{
    Rig rig;
    // 40 packets a second, every 25 ms.
    for (int at = 0; at <= 2000; at += 25)
        rig.artNet(2, 0x7F000002, bytes({1}), at);
    const SourceTable::Source &source = rig.source(2, 0);
    QCOMPARE(SourceTable::packetsPerSecond(source, 2000), 40u);
    QCOMPARE(SourceTable::packetsPerSecond(source, 2000 + SourceTable::RateWindowMs), 40u);
    QCOMPARE(SourceTable::packetsPerSecond(source, 2001 + SourceTable::RateWindowMs), 0u);
}

QTEST_GUILESS_MAIN(tst_RecordRouter)
#include "tst_recordrouter.moc"
