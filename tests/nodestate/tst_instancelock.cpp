// Two holders of the lock in one process meet as two copies of the program
// do: a mutex name is one object for the session, and flock() locks belong to
// each open of the file, not to the process.

#include "instancelock.h"
#include "plaintest.h"

#include <memory>

PLAINTEST(aLaterLockFindsTheFirstUntilItIsReleased)
{
    auto first = std::make_unique<InstanceLock>();
    PT_CHECK(!first->heldElsewhere());
    PT_CHECK(InstanceLock().heldElsewhere());
    PT_CHECK(!first->heldElsewhere());

    first.reset();
    PT_CHECK(!InstanceLock().heldElsewhere());
}

PLAINTEST_MAIN()
