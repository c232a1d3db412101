#include "driverlibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

template <typename Function>
bool assign(Function &slot, void *address)
{
    slot = reinterpret_cast<Function>(address);
    return address != nullptr;
}

} // namespace

DriverLibrary::~DriverLibrary()
{
    unload();
}

bool DriverLibrary::load(const std::string &fileName, Binding binding)
{
    unload();
#if defined(_WIN32)
    module = LoadLibraryA(fileName.c_str());
    if (!module) {
        error = "cannot load " + fileName + ": error " + std::to_string(GetLastError());
        return false;
    }
#else
    if (binding == Binding::ByOrdinal) {
        error = "functions can be resolved by ordinal on Windows only";
        return false;
    }
    module = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char *reason = dlerror();
        error = reason ? reason : "cannot load " + fileName;
        return false;
    }
#endif
    if (!resolveAll(binding)) {
        const std::string reason = error;
        unload();
        error = reason;
        return false;
    }
    error.clear();
    return true;
}

void DriverLibrary::unload()
{
    if (module) {
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(module));
#else
        dlclose(module);
#endif
    }
    module = nullptr;
    resolved = DriverFunctions();
}

bool DriverLibrary::resolveAll(Binding binding)
{
    // Ordinals follow the alphabetical order of the names.
    DriverFunctions &f = resolved;
    return assign(f.Connect, resolve("Connect", 1, binding))
        && assign(f.Disconnect, resolve("Disconnect", 2, binding))
        && assign(f.GetDevCaps, resolve("GetDevCaps", 3, binding))
        && assign(f.GetDriverCaps, resolve("GetDriverCaps", 4, binding))
        && assign(f.GetNumChannels, resolve("GetNumChannels", 5, binding))
        && assign(f.GetNumPorts, resolve("GetNumPorts", 6, binding))
        && assign(f.GetPortBuffer, resolve("GetPortBuffer", 7, binding))
        && assign(f.GetPortCaps, resolve("GetPortCaps", 8, binding))
        && assign(f.GetVersionInfo, resolve("GetVersionInfo", 9, binding))
        && assign(f.StartDetect, resolve("StartDetect", 10, binding));
}

void *DriverLibrary::resolve(const char *name, [[maybe_unused]] int ordinal,
                             [[maybe_unused]] Binding binding)
{
#if defined(_WIN32)
    HMODULE handle = static_cast<HMODULE>(module);
    FARPROC address = binding == Binding::ByOrdinal
        ? GetProcAddress(handle, MAKEINTRESOURCEA(ordinal))
        : GetProcAddress(handle, name);
    if (!address)
        error = std::string("no function ") + name + " (ordinal " + std::to_string(ordinal)
            + ") in the library";
    return reinterpret_cast<void *>(address);
#else
    dlerror();
    void *address = dlsym(module, name);
    if (!address)
        error = std::string("no function ") + name + " in the library";
    return address;
#endif
}
