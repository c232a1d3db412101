#ifndef CHILDPROCESS_H
#define CHILDPROCESS_H

// A helper program run by a Qt-free test, natively and under wine: started
// with its arguments, and killed and reaped at the end of the case however the
// case ends.

#include "shortpause.h"

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

class ChildProcess
{
public:
    // arguments[0] is the program's file.
    explicit ChildProcess(const std::vector<std::string> &arguments)
    {
#ifdef _WIN32
        std::string commandLine;
        for (const std::string &argument : arguments)
            commandLine += "\"" + argument + "\" ";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        running = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process) != 0;
        if (running)
            CloseHandle(process.hThread);
#else
        std::vector<char *> argv;
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        running = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
#endif
    }
    ~ChildProcess() { kill(); }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool isRunning() const { return running; }

    // The exit code, or -1 when it has not ended in time (it then runs on) or
    // did not end by exiting.
    int waitForExit(int timeoutMs = 20000)
    {
        if (!running)
            return -1;
#ifdef _WIN32
        DWORD code = 0;
        if (WaitForSingleObject(process.hProcess, DWORD(timeoutMs)) != WAIT_OBJECT_0
            || !GetExitCodeProcess(process.hProcess, &code))
            return -1;
        CloseHandle(process.hProcess);
        running = false;
        return int(code);
#else
        int status = 0;
        for (int waited = 0;; waited += 10) {
            const pid_t ended = waitpid(pid, &status, WNOHANG);
            if (ended == pid)
                break;
            if (ended != 0 || waited >= timeoutMs)
                return -1;
            pause10ms();
        }
        running = false;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    }

    // Ends it without a chance to close anything, and waits until it has.
    void kill()
    {
        if (!running)
            return;
#ifdef _WIN32
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 30000);
        CloseHandle(process.hProcess);
#else
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
#endif
        running = false;
    }

private:
    bool running = false;
#ifdef _WIN32
    PROCESS_INFORMATION process = {};
#else
    pid_t pid = 0;
#endif
};

#endif // CHILDPROCESS_H
