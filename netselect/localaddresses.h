#ifndef LOCALADDRESSES_H
#define LOCALADDRESSES_H

// The PC's IPv4 addresses, asked of the operating system without Qt so that
// the Windows branch can be built and tested on its own.

#include <string>
#include <vector>

struct LocalAddresses
{
    enum Status {
        Found,
        StartupFailed, // the socket library could not be started (Windows only)
        NameFailed,    // the host name could not be had
        LookupFailed,  // the name did not resolve (Windows) or the interfaces could not be listed
    };

    Status status = Found;
    std::string hostName; // known for Found and LookupFailed
    std::vector<std::string> addresses; // dotted-decimal, in the order the system gives them
};

// Windows: the addresses of the host entry of the PC's own name.
// Elsewhere: the addresses of the interfaces that are up, since there the
// own name usually resolves only to a loopback alias.
// Nothing is sorted, filtered or de-duplicated.
LocalAddresses discoverLocalAddresses();

#endif // LOCALADDRESSES_H
