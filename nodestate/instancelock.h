#ifndef INSTANCELOCK_H
#define INSTANCELOCK_H

// One copy of the program per session: the first copy holds the lock for its
// lifetime, and a later one learns from it that it came second. The system
// lets go of the lock when its holder ends, however it ends. On Windows it is
// a named mutex in the session's namespace; elsewhere an exclusive flock() on
// a file in /dev/shm. Qt-free.

class InstanceLock
{
public:
    // Takes the lock, or finds it held.
    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when another process holds the lock. A lock that cannot be made
    // at all counts as free: the program rather runs than refuses to.
    bool heldElsewhere() const { return elsewhere; }

private:
#ifdef _WIN32
    void *mutex = nullptr; // a HANDLE
#else
    int fd = -1;
#endif
    bool elsewhere = false;
};

#endif // INSTANCELOCK_H
