#ifndef RUNNINGUNDERWINE_H
#define RUNNINGUNDERWINE_H

// Whether this Windows program runs under wine rather than on Windows, for
// the few tests that meet a known difference of wine's.

#ifdef _WIN32
#include <windows.h>
#endif

inline bool runningUnderWine()
{
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

#endif // RUNNINGUNDERWINE_H
