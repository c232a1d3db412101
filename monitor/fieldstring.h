#ifndef FIELDSTRING_H
#define FIELDSTRING_H

// The UTF-8 text of a fixed-width field of the state section, which holds
// its terminator only when the text is shorter than the field.

#include <QByteArray>
#include <QString>

#include <cstddef>

template <std::size_t Width>
QString fieldString(const char (&field)[Width])
{
    return QString::fromUtf8(field, int(qstrnlen(field, Width)));
}

#endif // FIELDSTRING_H
