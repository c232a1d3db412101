#include "universelist.h"

#include <cerrno>
#include <cstdlib>

namespace UniverseList {

bool parseItem(const std::string &item, const NumberReader &number, Range *range)
{
    const std::size_t dash = item.find('-', 1);
    if (dash == std::string::npos) {
        if (!number(item, &range->first))
            return false;
        range->last = range->first;
        return true;
    }
    return number(item.substr(0, dash), &range->first) && number(item.substr(dash + 1), &range->last)
        && range->first <= range->last;
}

bool parse(const std::string &text, const NumberReader &number, std::vector<Range> *ranges, std::string *badItem)
{
    ranges->clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        Range range;
        if (!parseItem(item, number, &range)) {
            if (badItem)
                *badItem = item;
            return false;
        }
        ranges->push_back(range);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

bool readDecimal(const std::string &text, long long *value)
{
    if (text.empty() || text.find_first_of(" \t+") != std::string::npos)
        return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return false;
    *value = v;
    return true;
}

} // namespace UniverseList
