#include "artnetmerge.h"
#include "bytelist.h"
#include "loopbackhost.h"

#include <QtTest>

namespace {

constexpr quint32 A = loopbackHost(2);
constexpr quint32 B = loopbackHost(3);
constexpr quint32 C = loopbackHost(4);
constexpr qint64 Timeout = ArtNetMerge::SourceTimeoutMs;

// One record's merge, and what it held after the last packet taken.
struct Rig
{
    explicit Rig(ArtNetMerge::Mode mode) : merge(mode) {}

    bool send(quint32 from, const QByteArray &levels, qint64 nowMs, int record = 5)
    {
        const quint8 *merged = nullptr;
        int length = 0;
        if (!merge.take(record, from, reinterpret_cast<const quint8 *>(levels.constData()), int(levels.size()), nowMs,
                        &merged, &length))
            return false;
        held = QByteArray(reinterpret_cast<const char *>(merged), length);
        return true;
    }

    ArtNetMerge merge;
    QByteArray held;
};

} // namespace

class tst_ArtNetMerge : public QObject
{
    Q_OBJECT

private slots:
    void htpTakesTheHighestLevelAndTheLongerLength();
    void ltpTakesTheLatestChangeOfEachSlot();
    void thirdSourceWaitsUntilOneFallsSilent();
};

void tst_ArtNetMerge::htpTakesTheHighestLevelAndTheLongerLength()
{
    Rig rig(ArtNetMerge::Mode::Htp);
    QVERIFY(rig.send(A, bytes({10, 200, 30}), 0));
    QCOMPARE(rig.held, bytes({10, 200, 30})); // alone: as sent
    QVERIFY(!rig.merge.merging(5, 0));
    QVERIFY(rig.send(B, bytes({50, 100, 0, 0, 7}), 1));
    QCOMPARE(rig.held, bytes({50, 200, 30, 0, 7}));
    QVERIFY(rig.merge.merging(5, 1));
    // Each source's last levels count, and only as far as it sends.
    QVERIFY(rig.send(A, bytes({0}), 2));
    QCOMPARE(rig.held, bytes({50, 100, 0, 0, 7}));
    // Other records merge on their own.
    QVERIFY(rig.send(B, bytes({1}), 3, 6));
    QCOMPARE(rig.held, bytes({1}));
    QVERIFY(!rig.merge.merging(6, 3));
}

void tst_ArtNetMerge::ltpTakesTheLatestChangeOfEachSlot()
{
    Rig rig(ArtNetMerge::Mode::Ltp);
    QVERIFY(rig.send(A, bytes({10, 20, 30}), 0));
    // A new source changes every slot it carries.
    QVERIFY(rig.send(B, bytes({50, 50}), 1));
    QCOMPARE(rig.held, bytes({50, 50, 30}));
    // Repeating its levels changes nothing; a changed slot takes over.
    QVERIFY(rig.send(A, bytes({10, 20, 30}), 2));
    QCOMPARE(rig.held, bytes({50, 50, 30}));
    QVERIFY(rig.send(A, bytes({10, 21, 30}), 3));
    QCOMPARE(rig.held, bytes({50, 21, 30}));
    QVERIFY(rig.send(B, bytes({50, 50}), 4));
    QCOMPARE(rig.held, bytes({50, 21, 30}));
    QVERIFY(rig.send(B, bytes({0, 50, 0, 9}), 5));
    QCOMPARE(rig.held, bytes({0, 21, 0, 9}));
}

void tst_ArtNetMerge::thirdSourceWaitsUntilOneFallsSilent()
{
    Rig rig(ArtNetMerge::Mode::Htp);
    QVERIFY(rig.send(A, bytes({1}), 0));
    QVERIFY(rig.send(B, bytes({2}), 100));
    QVERIFY(!rig.send(C, bytes({255}), 200));
    QCOMPARE(rig.held, bytes({2}));

    // A leaves 10 s after its last packet, not before.
    QVERIFY(!rig.send(C, bytes({255}), Timeout - 1));
    QVERIFY(rig.merge.merging(5, Timeout - 1));
    QVERIFY(!rig.merge.merging(5, Timeout));
    QVERIFY(rig.send(C, bytes({255}), Timeout));
    QCOMPARE(rig.held, bytes({255}));
    QVERIFY(rig.merge.merging(5, Timeout));

    // A source back after its silence is a newcomer, and waits in turn.
    QVERIFY(!rig.send(A, bytes({3}), Timeout + 1));
}

QTEST_GUILESS_MAIN(tst_ArtNetMerge)
#include "tst_artnetmerge.moc"
