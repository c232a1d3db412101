#ifndef REPLYRATELIMITER_H
#define REPLYRATELIMITER_H

#include <QtGlobal>

// Token buckets, one per destination address, that cap how many poll answers
// go to any one host. A poll costs 14 bytes and its answer, the node's own
// reply and up to 64 bound ones, over a thousand times that, so without a cap
// a stream of polls with a forged sender address would turn the node into an
// amplifier aimed at that address.
//
// The table has a fixed number of slots and never allocates. A slot whose
// bucket has refilled is as good as a new one and is reused for the next
// unknown destination; when every slot is busy, unknown destinations share
// one overflow bucket, so the total rate stays bounded whatever arrives.
class ReplyRateLimiter
{
public:
    static constexpr int Slots = 64;

    ReplyRateLimiter(int perSecond, int burst);

    // Takes one token for `destination` (an IPv4 address) at `nowMs`, a
    // monotonic millisecond clock; true when the answer may be sent.
    bool allow(quint32 destination, qint64 nowMs);

private:
    struct Bucket
    {
        quint32 destination;
        qint64 stamp;
        qint64 tokens; // thousandths of an answer
        bool used;
    };

    void refill(Bucket &bucket, qint64 nowMs) const;
    bool take(Bucket &bucket, qint64 nowMs) const;

    qint64 perSecond;
    qint64 capacity;
    Bucket buckets[Slots];
    Bucket overflow;
};

#endif // REPLYRATELIMITER_H
