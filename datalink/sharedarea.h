#ifndef SHAREDAREA_H
#define SHAREDAREA_H

// One view of a named shared section, held for the lifetime of the object:
// created or opened, mapped whole, checked to hold the size asked for, and
// unmapped and closed again when released. The universe data area unless told
// otherwise. Qt-free, like the section layer beneath it.

#include "sharedsection.h"
#include "universedataarea.h"

#include <cstddef>
#include <cstdint>

class SharedArea
{
public:
    enum class Mode { Create, OpenRead, OpenWrite };

    SharedArea() = default;
    explicit SharedArea(Mode mode, const char *name = UniverseData::SectionName,
                        std::uint32_t size = UniverseData::AreaSize);
    ~SharedArea();
    SharedArea(const SharedArea &) = delete;
    SharedArea &operator=(const SharedArea &) = delete;

    // Releases what is held, then creates or opens and maps the section.
    // A section of that name that is smaller than `size` is used as it stands
    // by the system; a view of it is not kept, since reading or writing `size`
    // bytes through it would run off its end. The handle stays held even so.
    bool attach(Mode mode, const char *name = UniverseData::SectionName,
                std::uint32_t size = UniverseData::AreaSize);
    void release();

    // True while some process holds a section of that name; holds it only
    // for the time of the question.
    static bool exists(const char *name = UniverseData::SectionName);

    bool isValid() const { return view != nullptr; }
    SharedSection::Handle handle() const { return section; }
    unsigned char *bytes() const { return static_cast<unsigned char *>(view); }
    UniverseDataArea *area() const { return static_cast<UniverseDataArea *>(view); }
    // Only with a view of a whole area.
    UniverseRecord &record(int universe) const { return area()->universes[universe]; }
    // Bytes that may be touched through the view; 0 without one.
    std::size_t size() const { return SharedSection::viewSize(view); }

private:
    SharedSection::Handle section = nullptr;
    void *view = nullptr;
};

#endif // SHAREDAREA_H
