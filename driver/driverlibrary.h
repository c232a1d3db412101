#ifndef DRIVERLIBRARY_H
#define DRIVERLIBRARY_H

// Loads the driver library at run time and resolves its ten functions the way
// the visualiser host does, instead of linking against it: by name, or on
// Windows also by ordinal. Qt-free, so that it cross-builds and runs under
// wine next to the DLL.

#include "vdethdmx.h"

#include <string>

struct DriverFunctions
{
    decltype(&::Connect) Connect = nullptr;
    decltype(&::Disconnect) Disconnect = nullptr;
    decltype(&::GetDevCaps) GetDevCaps = nullptr;
    decltype(&::GetDriverCaps) GetDriverCaps = nullptr;
    decltype(&::GetNumChannels) GetNumChannels = nullptr;
    decltype(&::GetNumPorts) GetNumPorts = nullptr;
    decltype(&::GetPortBuffer) GetPortBuffer = nullptr;
    decltype(&::GetPortCaps) GetPortCaps = nullptr;
    decltype(&::GetVersionInfo) GetVersionInfo = nullptr;
    decltype(&::StartDetect) StartDetect = nullptr;
};

class DriverLibrary
{
public:
    enum class Binding { ByName, ByOrdinal };

    DriverLibrary() = default;
    ~DriverLibrary();
    DriverLibrary(const DriverLibrary &) = delete;
    DriverLibrary &operator=(const DriverLibrary &) = delete;

    // Loads the file and resolves all ten functions; on any failure nothing
    // stays loaded and errorString() says why. Ordinals exist on Windows only.
    bool load(const std::string &fileName, Binding binding = Binding::ByName);
    // Like a host unloading a driver: an open connection is not ended.
    void unload();

    bool isLoaded() const { return module != nullptr; }
    const std::string &errorString() const { return error; }
    // Null pointers unless loaded.
    const DriverFunctions &functions() const { return resolved; }

private:
    bool resolveAll(Binding binding);
    void *resolve(const char *name, int ordinal, Binding binding);

    void *module = nullptr;
    DriverFunctions resolved;
    std::string error;
};

#endif // DRIVERLIBRARY_H
