#include "replyratelimiter.h"

#include <QtTest>

namespace {

constexpr int Rate = 10;
constexpr int Burst = 10;
constexpr quint32 HostA = 0x7F000001;
constexpr quint32 HostB = 0x7F000002;

// How many of `attempts` replies to `destination` at `nowMs` are allowed.
int allowed(ReplyRateLimiter &limiter, quint32 destination, qint64 nowMs, int attempts)
{
    int count = 0;
    for (int i = 0; i < attempts; ++i)
        count += limiter.allow(destination, nowMs) ? 1 : 0;
    return count;
}

} // namespace

class tst_ReplyRateLimiter : public QObject
{
    Q_OBJECT

private slots:
    void burstPassesAndExcessIsDropped();
    void refillsOverTimeUpToTheBurst();
    void destinationsAreIndependent();
    void knownDestinationKeepsItsBucketWhenOthersAreIdle();
    void fullTableSharesOneOverflowBucket();
    void idleSlotsAreReusedForNewDestinations();
    void clockSteppingBackGrantsNothingExtra();
};

void tst_ReplyRateLimiter::burstPassesAndExcessIsDropped()
{
    ReplyRateLimiter limiter(Rate, Burst);
    QCOMPARE(allowed(limiter, HostA, 0, 100), Burst);
}

void tst_ReplyRateLimiter::refillsOverTimeUpToTheBurst()
{
    ReplyRateLimiter limiter(Rate, Burst);
    QCOMPARE(allowed(limiter, HostA, 1000, Burst), Burst);
    QCOMPARE(allowed(limiter, HostA, 1099, 5), 0);
    QCOMPARE(allowed(limiter, HostA, 1100, 5), 1);
    QCOMPARE(allowed(limiter, HostA, 1550, 5), 4);
    // A long pause refills the bucket, but never beyond the burst.
    QCOMPARE(allowed(limiter, HostA, 60000, 100), Burst);
    // A steady poller at the rate is always answered.
    for (qint64 t = 60100; t < 70000; t += 100)
        QVERIFY(limiter.allow(HostA, t));
}

void tst_ReplyRateLimiter::destinationsAreIndependent()
{
    ReplyRateLimiter limiter(Rate, Burst);
    QCOMPARE(allowed(limiter, HostA, 0, 50), Burst);
    QCOMPARE(allowed(limiter, HostB, 0, 50), Burst);
    QCOMPARE(allowed(limiter, HostA, 50, 5), 0);
}

void tst_ReplyRateLimiter::knownDestinationKeepsItsBucketWhenOthersAreIdle()
{
    ReplyRateLimiter limiter(Rate, Burst);
    QVERIFY(limiter.allow(HostB, 0));
    QCOMPARE(allowed(limiter, HostA, 990, 50), Burst);
    // HostB's slot has refilled and could be reused, but HostA must be found
    // in its own slot, not handed a fresh bucket.
    QCOMPARE(allowed(limiter, HostA, 1000, 5), 0);
}

void tst_ReplyRateLimiter::fullTableSharesOneOverflowBucket()
{
    ReplyRateLimiter limiter(Rate, Burst);
    for (int i = 0; i < ReplyRateLimiter::Slots; ++i)
        QVERIFY(limiter.allow(0x0A000000 + quint32(i), 0));

    // Unknown destinations now draw on one shared bucket.
    int overflowed = 0;
    for (quint32 host = 0x0B000000; host < 0x0B000000 + 100; ++host)
        overflowed += limiter.allow(host, 0) ? 1 : 0;
    QCOMPARE(overflowed, Burst);

    // Destinations in the table still have their own buckets.
    QCOMPARE(allowed(limiter, 0x0A000005, 0, 50), Burst - 1);
}

void tst_ReplyRateLimiter::idleSlotsAreReusedForNewDestinations()
{
    ReplyRateLimiter limiter(Rate, Burst);
    for (int i = 0; i < ReplyRateLimiter::Slots; ++i)
        QVERIFY(limiter.allow(0x0A000000 + quint32(i), 0));

    // Once the old buckets have refilled, each new destination gets a slot
    // of its own rather than the shared overflow bucket.
    for (quint32 host = 0x0B000000; host < 0x0B000000 + 5; ++host)
        QCOMPARE(allowed(limiter, host, 1000, 50), Burst);
}

void tst_ReplyRateLimiter::clockSteppingBackGrantsNothingExtra()
{
    ReplyRateLimiter limiter(Rate, Burst);
    QCOMPARE(allowed(limiter, HostA, 5000, 50), Burst);
    QCOMPARE(allowed(limiter, HostA, 0, 5), 0);
    QCOMPARE(allowed(limiter, HostA, 100, 5), 1);
}

QTEST_GUILESS_MAIN(tst_ReplyRateLimiter)
#include "tst_replyratelimiter.moc"
