#include "localaddresses.h"
#include "plaintest.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Four decimal numbers 0..255 separated by points, without leading zeros.
bool isDottedDecimal(const std::string &text)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == '.')
            parts.emplace_back();
        else if (c >= '0' && c <= '9')
            parts.back() += c;
        else
            return false;
    }
    if (parts.size() != 4)
        return false;
    for (const std::string &part : parts) {
        if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0') || std::stoi(part) > 255)
            return false;
    }
    return true;
}

} // namespace

PLAINTEST(discoveryFindsTheHostNameAndAtLeastOneAddress)
{
    const LocalAddresses found = discoverLocalAddresses();
    PT_COMPARE(found.status, LocalAddresses::Found);
    PT_CHECK(!found.hostName.empty());
    PT_CHECK(found.hostName.size() < 128);
    PT_CHECK(!found.addresses.empty());

    std::printf("host name %s, addresses:", found.hostName.c_str());
    for (const std::string &address : found.addresses)
        std::printf(" %s", address.c_str());
    std::printf("\n");
}

PLAINTEST(everyAddressIsDottedDecimalText)
{
    for (const std::string &address : discoverLocalAddresses().addresses) {
        if (!isDottedDecimal(address))
            PlainTest::fail(__FILE__, __LINE__, "not dotted-decimal: \"" + address + "\"");
    }
}

#ifndef _WIN32
// The loopback interface is always up, and it also shows that the address
// bytes are read in network order.
PLAINTEST(loopbackInterfaceIsListed)
{
    const LocalAddresses found = discoverLocalAddresses();
    bool loopback = false;
    for (const std::string &address : found.addresses)
        loopback = loopback || address == "127.0.0.1";
    PT_CHECK(loopback);
}
#endif

PLAINTEST_MAIN()
