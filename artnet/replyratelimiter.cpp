#include "replyratelimiter.h"

namespace {
constexpr qint64 TokenScale = 1000;
}

ReplyRateLimiter::ReplyRateLimiter(int perSecond, int burst)
    : perSecond(qMax(1, perSecond)), capacity(qint64(qMax(1, burst)) * TokenScale), buckets(),
      overflow()
{
    overflow.tokens = capacity;
    overflow.used = true;
}

void ReplyRateLimiter::refill(Bucket &bucket, qint64 nowMs) const
{
    // A clock that steps back only restarts the interval; it never drains.
    const qint64 elapsed = nowMs - bucket.stamp;
    if (elapsed > 0) {
        // perSecond tokens a second are perSecond thousandths a millisecond;
        // capping elapsed first keeps the product far from overflow.
        bucket.tokens = qMin(capacity, bucket.tokens + qMin(elapsed, capacity) * perSecond);
    }
    bucket.stamp = nowMs;
}

bool ReplyRateLimiter::take(Bucket &bucket, qint64 nowMs) const
{
    refill(bucket, nowMs);
    if (bucket.tokens < TokenScale)
        return false;
    bucket.tokens -= TokenScale;
    return true;
}

bool ReplyRateLimiter::allow(quint32 destination, qint64 nowMs)
{
    Bucket *spare = nullptr;
    for (Bucket &bucket : buckets) {
        if (bucket.used && bucket.destination == destination)
            return take(bucket, nowMs);
        if (spare == nullptr) {
            if (!bucket.used) {
                spare = &bucket;
            } else {
                refill(bucket, nowMs);
                if (bucket.tokens == capacity)
                    spare = &bucket;
            }
        }
    }
    if (spare == nullptr)
        return take(overflow, nowMs);
    spare->destination = destination;
    spare->stamp = nowMs;
    spare->tokens = capacity;
    spare->used = true;
    return take(*spare, nowMs);
}
