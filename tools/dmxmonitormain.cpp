#include "dmxmonitor.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char *argv[])
{
    DmxMonitor monitor(std::cout, std::cerr);
    return monitor.run(std::vector<std::string>(argv + 1, argv + argc));
}
