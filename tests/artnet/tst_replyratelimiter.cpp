#include "loopbackhost.h"
#include "replyratelimiter.h"

#include <QtTest>

namespace {

constexpr int Rate = 10;
constexpr int Burst = 10;
constexpr quint32 HostA = loopbackHost(1);
constexpr quint32 HostB = loopbackHost(2);
// Destinations that fill the table, and others that come after them.
constexpr quint32 TableHosts = 0x0A000000;
constexpr quint32 NewHosts = 0x0B000000;

} // namespace

class tst_ReplyRateLimiter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void burstPassesAndExcessIsDropped();
    void refillsOverTimeUpToTheBurst();
    void destinationsAreIndependent();
    void knownDestinationKeepsItsBucketWhenOthersAreIdle();
    void fullTableSharesOneOverflowBucket();
    void idleSlotsAreReusedForNewDestinations();
    void clockSteppingBackGrantsNothingExtra();

private:
    // How many of `attempts` replies to `destination` at `nowMs` are allowed.
    int allowed(quint32 destination, qint64 nowMs, int attempts);
    // How many of `hosts` destinations from `first` on are allowed one reply
    // each at `nowMs`.
    int allowedOnce(quint32 first, int hosts, qint64 nowMs);

    ReplyRateLimiter limiter{Rate, Burst};
};

void tst_ReplyRateLimiter::init()
{
    limiter = ReplyRateLimiter(Rate, Burst);
}

int tst_ReplyRateLimiter::allowed(quint32 destination, qint64 nowMs, int attempts)
{
    int count = 0;
    for (int i = 0; i < attempts; ++i)
        count += limiter.allow(destination, nowMs) ? 1 : 0;
    return count;
}

int tst_ReplyRateLimiter::allowedOnce(quint32 first, int hosts, qint64 nowMs)
{
    int count = 0;
    for (quint32 host = first; host < first + quint32(hosts); ++host)
        count += limiter.allow(host, nowMs) ? 1 : 0;
    return count;
}

void tst_ReplyRateLimiter::burstPassesAndExcessIsDropped()
{
    QCOMPARE(allowed(HostA, 0, 100), Burst);
}

void tst_ReplyRateLimiter::refillsOverTimeUpToTheBurst()
{
    QCOMPARE(allowed(HostA, 1000, Burst), Burst);
    QCOMPARE(allowed(HostA, 1099, 5), 0);
    QCOMPARE(allowed(HostA, 1100, 5), 1);
    QCOMPARE(allowed(HostA, 1550, 5), 4);
    // A long pause refills the bucket, but never beyond the burst.
    QCOMPARE(allowed(HostA, 60000, 100), Burst);
    // A steady poller at the rate is always answered.
    for (qint64 t = 60100; t < 70000; t += 100)
        QVERIFY(limiter.allow(HostA, t));
}

void tst_ReplyRateLimiter::destinationsAreIndependent()
{
    QCOMPARE(allowed(HostA, 0, 50), Burst);
    QCOMPARE(allowed(HostB, 0, 50), Burst);
    QCOMPARE(allowed(HostA, 50, 5), 0);
}

void tst_ReplyRateLimiter::knownDestinationKeepsItsBucketWhenOthersAreIdle()
{
    QVERIFY(limiter.allow(HostB, 0));
    QCOMPARE(allowed(HostA, 990, 50), Burst);
    // HostB's slot has refilled and could be reused, but HostA must be found
    // in its own slot, not handed a fresh bucket.
    QCOMPARE(allowed(HostA, 1000, 5), 0);
}

void tst_ReplyRateLimiter::fullTableSharesOneOverflowBucket()
{
    QCOMPARE(allowedOnce(TableHosts, ReplyRateLimiter::Slots, 0), ReplyRateLimiter::Slots);

    // Unknown destinations now draw on one shared bucket.
    QCOMPARE(allowedOnce(NewHosts, 100, 0), Burst);

    // Destinations in the table still have their own buckets.
    QCOMPARE(allowed(TableHosts + 5, 0, 50), Burst - 1);
}

void tst_ReplyRateLimiter::idleSlotsAreReusedForNewDestinations()
{
    QCOMPARE(allowedOnce(TableHosts, ReplyRateLimiter::Slots, 0), ReplyRateLimiter::Slots);

    // Once the old buckets have refilled, each new destination gets a slot
    // of its own rather than the shared overflow bucket.
    for (quint32 host = NewHosts; host < NewHosts + 5; ++host)
        QCOMPARE(allowed(host, 1000, 50), Burst);
}

void tst_ReplyRateLimiter::clockSteppingBackGrantsNothingExtra()
{
    QCOMPARE(allowed(HostA, 5000, 50), Burst);
    QCOMPARE(allowed(HostA, 0, 5), 0);
    QCOMPARE(allowed(HostA, 100, 5), 1);
}

QTEST_GUILESS_MAIN(tst_ReplyRateLimiter)
#include "tst_replyratelimiter.moc"
