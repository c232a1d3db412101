#include "htpmerge.h"

#include <algorithm>
#include <cstring>

int HtpMerge::into(std::uint8_t *merged, int mergedLength, const std::uint8_t *levels, int length)
{
    const int common = std::min(mergedLength, length);
    for (int slot = 0; slot < common; ++slot)
        merged[slot] = std::max(merged[slot], levels[slot]);
    if (length > mergedLength) {
        std::memcpy(merged + mergedLength, levels + mergedLength, std::size_t(length - mergedLength));
        return length;
    }
    return mergedLength;
}
