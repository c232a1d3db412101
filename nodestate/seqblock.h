#ifndef SEQBLOCK_H
#define SEQBLOCK_H

// A block of shared memory with one writer and any number of readers in other
// processes, none of which ever waits (a sequence lock). The writer makes the
// counter odd, rewrites the value and makes it even again; a reader copies the
// value and keeps the copy only when the counter was even and unchanged
// across the copy. A reader that meets the writer at work tries again a few
// times and then gives up for this turn, keeping what it had.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

static_assert(std::atomic<std::uint32_t>::is_always_lock_free,
              "the counter is shared between processes, so it must not hide a lock");

template<typename T>
struct SeqBlock
{
    static_assert(std::is_trivially_copyable<T>::value, "the value is copied as bytes");

    std::atomic<std::uint32_t> sequence;
    std::uint32_t reserved;
    T value;

    // The writer's side: `change` edits the value in place.
    template<typename Change>
    void write(Change change)
    {
        const std::uint32_t start = sequence.load(std::memory_order_relaxed);
        sequence.store(start + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        change(value);
        sequence.store(start + 2, std::memory_order_release);
    }

    // The reader's side; false, with `copy` unspecified, when every try met
    // the writer at work.
    bool read(T &copy, int tries = 4) const
    {
        return readUsed(copy, [](const T &) { return sizeof(T); }, tries);
    }

    // As read(), but copies only the leading bytes the value says it uses,
    // `used(value)`, and leaves the rest of `copy` as it was. The size is
    // taken from the shared value and may be torn; a torn one fails the
    // counter's check like any other torn copy.
    template<typename Used>
    bool readUsed(T &copy, Used used, int tries = 4) const
    {
        for (int i = 0; i < tries; ++i) {
            const std::uint32_t before = sequence.load(std::memory_order_acquire);
            if (before & 1)
                continue;
            const std::size_t size = used(value);
            std::memcpy(&copy, const_cast<const T *>(&value), size < sizeof(T) ? size : sizeof(T));
            std::atomic_thread_fence(std::memory_order_acquire);
            if (sequence.load(std::memory_order_relaxed) == before)
                return true;
        }
        return false;
    }
};

#endif // SEQBLOCK_H
