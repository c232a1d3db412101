#include "sharedsection.h"

#ifdef _WIN32

#include <windows.h>

#include <string>

namespace SharedSection {

Handle create(const char *name, std::uint32_t size)
{
    // The name is plain ASCII, so widening each character gives the UTF-16 text.
    std::wstring wideName;
    for (const char *c = name; *c; ++c)
        wideName += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, size, wideName.c_str());
}

Handle open(const char *name, Access access)
{
    return OpenFileMappingA(access == Access::Write ? FILE_MAP_WRITE : FILE_MAP_READ, FALSE, name);
}

void *map(Handle section, Access access)
{
    return MapViewOfFile(section, access == Access::Write ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, 0);
}

std::size_t viewSize(const void *view)
{
    if (!view)
        return 0;
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(view, &info, sizeof info) != sizeof info)
        return 0;
    return info.RegionSize;
}

bool unmap(void *view)
{
    return UnmapViewOfFile(view) != 0;
}

bool close(Handle section)
{
    return CloseHandle(section) != 0;
}

} // namespace SharedSection

#else // POSIX

// POSIX shared memory outlives its last user until it is unlinked, and a
// process that dies never unlinks. To keep the lifetime of a Windows section,
// holders are tracked with open-file-description locks on the object itself,
// which the kernel drops when a holder closes or dies:
//  - every holder keeps a shared lock on byte 0;
//  - create, open and close take an exclusive lock on byte 1 for the time of
//    their decision, so that no two of them interleave in any process.
// Under the gate, an exclusive lock on byte 0 succeeds exactly when no one
// else holds the section: create then sizes a new object or replaces a stale
// one, open removes the stale name and fails, and close removes the name as
// the last holder.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace {

constexpr off_t HolderByte = 0;
constexpr off_t GateByte = 1;
// A name that vanishes and reappears between opening and locking is retried;
// the bound only guards against a pathological livelock.
constexpr int MaxAttempts = 100;

struct Section
{
    int fd;
    SharedSection::Access access;
    std::string name;
};

std::mutex registryMutex;
std::set<Section *> sections;
std::map<const void *, std::size_t> viewSizes;

bool setLock(int fd, short type, off_t byte, bool wait)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    int result;
    do {
        result = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
    } while (result == -1 && errno == EINTR);
    return result == 0;
}

// True when the name currently refers to the object open on fd; false when it
// was unlinked, or unlinked and created anew, since fd was opened.
bool nameRefersTo(int fd, const std::string &name)
{
    struct stat ours;
    if (fstat(fd, &ours) != 0)
        return false;
    const int probe = shm_open(name.c_str(), O_RDONLY, 0);
    if (probe == -1)
        return false;
    struct stat current;
    const bool same = fstat(probe, &current) == 0 && current.st_dev == ours.st_dev && current.st_ino == ours.st_ino;
    ::close(probe);
    return same;
}

enum class Outcome { Held, Retry, Failed };

// Runs one attempt of create or open under the gate.
Outcome attach(int fd, const std::string &name, bool creating, std::uint32_t size)
{
    if (!setLock(fd, F_WRLCK, GateByte, true))
        return Outcome::Failed;
    if (!nameRefersTo(fd, name)) {
        setLock(fd, F_UNLCK, GateByte, false);
        return Outcome::Retry;
    }
    Outcome outcome = Outcome::Held;
    if (setLock(fd, F_WRLCK, HolderByte, false)) {
        // Nobody holds the section. One with contents was left behind by
        // holders that died: its name goes, and a creator starts over with a
        // new object rather than clearing one that a stray view may still map.
        struct stat info;
        if (fstat(fd, &info) != 0) {
            outcome = Outcome::Failed;
        } else if (!creating || info.st_size != 0) {
            shm_unlink(name.c_str());
            outcome = creating ? Outcome::Retry : Outcome::Failed;
        } else if (ftruncate(fd, size) != 0) {
            shm_unlink(name.c_str());
            outcome = Outcome::Failed;
        } else if (!setLock(fd, F_RDLCK, HolderByte, false)) {
            outcome = Outcome::Failed;
        }
    } else if (!setLock(fd, F_RDLCK, HolderByte, false)) {
        outcome = Outcome::Failed;
    }
    setLock(fd, F_UNLCK, GateByte, false);
    return outcome;
}

SharedSection::Handle attachByName(const char *name, bool creating, std::uint32_t size,
                                   SharedSection::Access access)
{
    if (!name)
        return nullptr;
    const std::string objectName = std::string("/") + name;
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        // Always read-write: the holder locks need a writable descriptor.
        // map() keeps a read handle from being mapped for writing.
        const int fd = shm_open(objectName.c_str(), O_RDWR | (creating ? O_CREAT : 0), 0600);
        if (fd == -1)
            return nullptr;
        const Outcome outcome = attach(fd, objectName, creating, size);
        if (outcome == Outcome::Held) {
            std::lock_guard<std::mutex> guard(registryMutex);
            Section *section = new Section{fd, access, objectName};
            sections.insert(section);
            return section;
        }
        ::close(fd);
        if (outcome == Outcome::Failed)
            return nullptr;
    }
    return nullptr;
}

} // namespace

namespace SharedSection {

Handle create(const char *name, std::uint32_t size)
{
    if (size == 0)
        return nullptr;
    return attachByName(name, true, size, Access::Write);
}

Handle open(const char *name, Access access)
{
    return attachByName(name, false, 0, access);
}

void *map(Handle handle, Access access)
{
    std::lock_guard<std::mutex> guard(registryMutex);
    Section *section = static_cast<Section *>(handle);
    if (!sections.count(section))
        return nullptr;
    if (access == Access::Write && section->access != Access::Write)
        return nullptr;
    struct stat info;
    if (fstat(section->fd, &info) != 0 || info.st_size <= 0)
        return nullptr;
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    const int protection = access == Access::Write ? PROT_READ | PROT_WRITE : PROT_READ;
    void *view = mmap(nullptr, size, protection, MAP_SHARED, section->fd, 0);
    if (view == MAP_FAILED)
        return nullptr;
    viewSizes[view] = size;
    return view;
}

std::size_t viewSize(const void *view)
{
    std::lock_guard<std::mutex> guard(registryMutex);
    const auto found = viewSizes.find(view);
    return found == viewSizes.end() ? 0 : found->second;
}

bool unmap(void *view)
{
    std::lock_guard<std::mutex> guard(registryMutex);
    const auto found = viewSizes.find(view);
    if (found == viewSizes.end())
        return false;
    munmap(view, found->second);
    viewSizes.erase(found);
    return true;
}

bool close(Handle handle)
{
    std::lock_guard<std::mutex> guard(registryMutex);
    Section *section = static_cast<Section *>(handle);
    if (!sections.erase(section))
        return false;
    // As with a Windows section, the name goes with the last handle; views
    // still mapped keep their memory but no longer share it with a new creator.
    if (setLock(section->fd, F_WRLCK, GateByte, true)) {
        if (setLock(section->fd, F_WRLCK, HolderByte, false) && nameRefersTo(section->fd, section->name))
            shm_unlink(section->name.c_str());
    }
    ::close(section->fd); // drops every lock of this description
    delete section;
    return true;
}

} // namespace SharedSection

#endif

namespace SharedSection {

void *mapAtLeast(Handle section, Access access, std::size_t size)
{
    void *view = map(section, access);
    if (view && viewSize(view) < size) {
        unmap(view);
        view = nullptr;
    }
    return view;
}

} // namespace SharedSection
