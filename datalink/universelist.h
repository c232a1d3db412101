#ifndef UNIVERSELIST_H
#define UNIVERSELIST_H

// Lists of universes as users write them, such as "0-15,32": items separated
// by commas, each a number or two numbers joined by a dash. A dash at the
// start of an item belongs to its number, so "-5" is one (negative) number.
// The callers differ in how they read a number and which ones they accept;
// the shape of the list is read here. Qt-free, for the program and the tools.

#include <functional>
#include <string>
#include <vector>

namespace UniverseList {

using NumberReader = std::function<bool(const std::string &text, long long *value)>;

struct Range
{
    long long first;
    long long last;
};

// One item: a number, or a range whose first number is not above its last.
bool parseItem(const std::string &item, const NumberReader &number, Range *range);

// Every item of the list in order; false at the first item that is neither
// a number nor a range, which is then stored in *badItem when asked for.
bool parse(const std::string &text, const NumberReader &number, std::vector<Range> *ranges,
           std::string *badItem = nullptr);

// Decimal digits with an optional leading '-', nothing else (no spaces, no
// '+'), within the range of long long.
bool readDecimal(const std::string &text, long long *value);

} // namespace UniverseList

#endif // UNIVERSELIST_H
