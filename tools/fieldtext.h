#ifndef FIELDTEXT_H
#define FIELDTEXT_H

// The text of a fixed-width character field that holds its terminator only
// when the text is shorter than the field, as in ArtPollReply names and the
// driver's device entries. Qt-free, for every tool.

#include <cstddef>
#include <string>

template <std::size_t Width>
std::string fieldText(const char (&field)[Width])
{
    std::size_t size = 0;
    while (size < Width && field[size] != '\0')
        ++size;
    return std::string(field, size);
}

#endif // FIELDTEXT_H
