#ifndef WIREINTEGER_H
#define WIREINTEGER_H

// An unsigned integer field of a packet record, held as its bytes in wire
// order. Byte storage leaves the records without any alignment need, so a
// record may sit at any address (inside another object, at an odd offset of a
// receive buffer) and still be read and written field by field.

#include <cstddef>
#include <cstdint>
#include <type_traits>

enum class ByteOrder { BigEndian, LittleEndian };

template <typename T, ByteOrder Order>
class WireInteger
{
    static_assert(std::is_unsigned<T>::value, "wire fields are unsigned");

public:
    constexpr operator T() const
    {
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value = T(value << 8 | bytes[mostSignificantFirst(i)]);
        return value;
    }

    WireInteger &operator=(T value)
    {
        for (std::size_t i = sizeof(T); i-- > 0; value = T(value >> 8))
            bytes[mostSignificantFirst(i)] = std::uint8_t(value);
        return *this;
    }

private:
    // Where the i-th byte, counted from the most significant, is stored.
    static constexpr std::size_t mostSignificantFirst(std::size_t i)
    {
        return Order == ByteOrder::BigEndian ? i : sizeof(T) - 1 - i;
    }

    std::uint8_t bytes[sizeof(T)];
};

#endif // WIREINTEGER_H
