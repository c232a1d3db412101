// Stands in for Windows' netsh.exe in the installer test's wine prefix, where
// wine's own netsh keeps no firewall rules: appends its command line, as one
// line, to a file beside itself (netsh.exe.log) and succeeds.

#include <windows.h>

#include <cstdio>
#include <cwchar>

int main()
{
    wchar_t log[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(nullptr, log, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    std::wcscat(log, L".log");
    FILE *file = _wfopen(log, L"ab");
    if (!file)
        return 1;
    std::fprintf(file, "%s\n", GetCommandLineA());
    std::fclose(file);
    return 0;
}
