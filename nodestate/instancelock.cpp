#include "instancelock.h"

#ifdef _WIN32

#include <windows.h>

InstanceLock::InstanceLock()
{
    // Not a kernel-wide name: another user's session runs its own copy.
    mutex = CreateMutexW(nullptr, FALSE, L"Local\\Dorvantis Instance");
    elsewhere = mutex && GetLastError() == ERROR_ALREADY_EXISTS;
}

InstanceLock::~InstanceLock()
{
    if (mutex)
        CloseHandle(mutex);
}

#else // POSIX

#include <sys/file.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Beside the shared sections the copies would contend for, so that a /dev/shm
// of one's own (a test's namespace) makes a session of one's own too. The file
// stays when its holder ends: removing it could let two copies lock two
// different files of the same name.
constexpr char LockFile[] = "/dev/shm/Dorvantis Instance.lock";

} // namespace

InstanceLock::InstanceLock()
{
    // Close-on-exec: a program started from this one must not inherit the lock.
    fd = ::open(LockFile, O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd == -1)
        return;
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result == -1 && errno == EINTR);
    elsewhere = result == -1 && errno == EWOULDBLOCK;
}

InstanceLock::~InstanceLock()
{
    if (fd != -1)
        ::close(fd);
}

#endif
