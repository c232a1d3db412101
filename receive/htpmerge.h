#ifndef HTPMERGE_H
#define HTPMERGE_H

#include <cstdint>

// Highest takes precedence: the merge of levels from several sources that
// sACN uses among sources of equal priority and Art-Net in its HTP mode.
class HtpMerge
{
public:
    // Raises each of the first `length` slots of `merged` to `levels` where
    // that is higher; slots from `mergedLength` on count as 0 before. Returns
    // the merged length, the longer of the two.
    static int into(std::uint8_t *merged, int mergedLength, const std::uint8_t *levels, int length);
};

#endif // HTPMERGE_H
