#ifndef SHORTPAUSE_H
#define SHORTPAUSE_H

// A 10 ms wait for the Qt-free helper processes, which poll their control
// files and also run under wine.

#ifdef _WIN32
#include <windows.h>
inline void pause10ms()
{
    Sleep(10);
}
#else
#include <time.h>
inline void pause10ms()
{
    const timespec delay = {0, 10 * 1000 * 1000};
    nanosleep(&delay, nullptr);
}
#endif

#endif // SHORTPAUSE_H
