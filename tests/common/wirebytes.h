#ifndef WIREBYTES_H
#define WIREBYTES_H

// A packet record's bytes as the datagram that carries them.

#include <QByteArray>
#include <QtGlobal>

#include <type_traits>

// The first `size` bytes of the record's image, all of them by default. An
// sACN record is longer than most of its packets: pass Sacn::wireSize(record).
template <typename Record>
QByteArray datagram(const Record &record, int size = int(sizeof(Record)))
{
    static_assert(std::is_trivially_copyable<Record>::value, "records are plain byte images");
    return QByteArray(reinterpret_cast<const char *>(&record), qBound(0, size, int(sizeof(Record))));
}

#endif // WIREBYTES_H
