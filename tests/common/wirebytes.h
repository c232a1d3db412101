#ifndef WIREBYTES_H
#define WIREBYTES_H

// A packet record's bytes as the datagram that carries them, and back.

#include <QByteArray>
#include <QtGlobal>

#include <cstring>
#include <type_traits>

// The first `size` bytes of the record's image, all of them by default. An
// sACN record is longer than most of its packets: pass Sacn::wireSize(record).
template <typename Record>
QByteArray datagram(const Record &record, int size = int(sizeof(Record)))
{
    static_assert(std::is_trivially_copyable<Record>::value, "records are plain byte images");
    return QByteArray(reinterpret_cast<const char *>(&record), qBound(0, size, int(sizeof(Record))));
}

// The record a datagram holds; bytes the datagram lacks read as zeros.
template <typename Record>
Record recordFrom(const QByteArray &datagram)
{
    static_assert(std::is_trivially_copyable<Record>::value, "records are plain byte images");
    Record record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, datagram.constData(), qMin(std::size_t(datagram.size()), sizeof record));
    return record;
}

#endif // WIREBYTES_H
