#include "unreachedlog.h"

void UnreachedLog::note(Reason reason, const FrameOrigin &origin, int record, std::int64_t nowMs)
{
    int index = 0;
    while (index < used
           && !(entries[index].reason == reason && entries[index].protocol == origin.protocol
                && entries[index].universe == origin.universe && entries[index].address == origin.address))
        ++index;
    if (index == used) {
        if (used < Capacity) {
            ++used;
        } else {
            index = 0;
            for (int i = 1; i < used; ++i) {
                if (entries[i].lastMs < entries[index].lastMs)
                    index = i;
            }
        }
        entries[index] = Entry{reason, origin.protocol, record, origin.address, origin.port, origin.universe, 0,
                               nowMs, nowMs};
    }
    Entry &entry = entries[index];
    entry.record = record;
    entry.port = origin.port;
    entry.lastMs = nowMs;
    ++entry.count;
}

void UnreachedLog::forgetSilent(std::int64_t nowMs)
{
    for (int i = used; i-- > 0;) {
        if (nowMs - entries[i].lastMs >= ForgetAfterMs)
            entries[i] = entries[--used];
    }
}
