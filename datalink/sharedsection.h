#ifndef SHAREDSECTION_H
#define SHAREDSECTION_H

// A named section of shared memory with the lifetime of a Windows file
// mapping: it exists while any process holds a handle to it, reads as zeros
// when new, and is gone once the last holder has closed it (or died).
// On Windows the functions are thin wrappers over the kernel's named file
// mapping calls; on POSIX systems they stand in for them with shm_open.
// Qt-free, so that it cross-builds for Windows and serves the driver library.

#include <cstddef>
#include <cstdint>

namespace SharedSection {

using Handle = void *; // a HANDLE on Windows

enum class Access { Read, Write };

// Creates the section, or returns the existing one of that name unchanged.
// Null on failure.
Handle create(const char *name, std::uint32_t size);

// Opens an existing section; null when no process holds one of that name.
Handle open(const char *name, Access access);

// Maps the whole section. Null on failure.
void *map(Handle section, Access access);

// Bytes that may be touched through a view returned by map(); 0 for null.
std::size_t viewSize(const void *view);

// map(), keeping the view only when at least `size` bytes may be touched
// through it: a section of the same name that someone else made smaller is
// used as it stands by the system. Null otherwise, with nothing left mapped.
void *mapAtLeast(Handle section, Access access, std::size_t size);

// Both accept null and then fail without effect.
bool unmap(void *view);
bool close(Handle section);

} // namespace SharedSection

#endif // SHAREDSECTION_H
