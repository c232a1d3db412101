// Who holds the node's ports: another process is named by its file name for each
// port it holds, IPv4 and IPv6, unless it is the one left out.
#include "childprocess.h"
#include "plaintest.h"
#include "portholders.h"
#include <string>

PLAINTEST(anotherProcessIsNamedForEachPortItHoldsUnlessLeftOut)
{
    constexpr std::uint16_t Held = 46401; // and the next on ::1; 46400 is free
    ChildProcess peer({NODESTATEPEER_FILE, std::to_string(Held), std::to_string(Held + 1)});
    std::vector<PortHolders::Holder> found;
    for (int i = 0; i < 3000 && !(found.size() == 2 && found[0].processId && found[1].processId); ++i) {
        pause10ms();
        found = PortHolders::find({46400, Held, Held + 1}, 0);
    }
    PT_COMPARE(found.size(), std::size_t(2));
    const std::string file = NODESTATEPEER_FILE, name = file.substr(file.rfind('/') + 1);
    PT_CHECK(found[0].port == Held && found[1].port == Held + 1 && found[0].name == name && found[1].name == name);
    PT_CHECK(PortHolders::find({Held, Held + 1}, found[0].processId).empty());
}

PLAINTEST_MAIN()
