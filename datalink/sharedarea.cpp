#include "sharedarea.h"

#include <utility>

SharedArea::SharedArea(Mode mode, const char *name, std::uint32_t size)
{
    attach(mode, name, size);
}

SharedArea::~SharedArea()
{
    release();
}

bool SharedArea::attach(Mode mode, const char *name, std::uint32_t size)
{
    release();
    const SharedSection::Access access = mode == Mode::OpenRead ? SharedSection::Access::Read
                                                                : SharedSection::Access::Write;
    section = mode == Mode::Create ? SharedSection::create(name, size) : SharedSection::open(name, access);
    view = SharedSection::mapAtLeast(section, access, size);
    return view != nullptr;
}

void SharedArea::release()
{
    SharedSection::unmap(std::exchange(view, nullptr));
    SharedSection::close(std::exchange(section, nullptr));
}

bool SharedArea::exists(const char *name)
{
    SharedSection::Handle probe = SharedSection::open(name, SharedSection::Access::Read);
    SharedSection::close(probe);
    return probe != nullptr;
}
