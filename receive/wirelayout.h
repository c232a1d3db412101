#ifndef WIRELAYOUT_H
#define WIRELAYOUT_H

// Compile-time checks that a record's memory image is its byte layout on the
// wire. A failing check names the record, the field and the byte the
// protocol puts it at.

#include <cstddef>
#include <type_traits>

// The record is a plain byte image of `bytes` bytes.
#define WIRE_RECORD_SIZE(Record, bytes)                                                                  \
    static_assert(std::is_trivially_copyable<Record>::value && sizeof(Record) == (bytes),                \
                  #Record " must be a plain byte image of " #bytes " bytes")

// The record's `field` starts at byte `offset`.
#define WIRE_FIELD_AT(Record, field, offset)                                                             \
    static_assert(offsetof(Record, field) == (offset), #Record "::" #field " must start at byte " #offset)

#endif // WIRELAYOUT_H
