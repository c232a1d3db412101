#ifndef LIVEVIEW_H
#define LIVEVIEW_H

// dmxmonitor's live terminal view (ncurses): every chosen universe as a grid
// of its 512 channels, refreshed at a fixed rate, with the values that changed
// since the last refresh highlighted and the record's packet count and rate.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

class MonitorHost;

class LiveView
{
public:
    LiveView(const MonitorHost &host, const std::vector<int> &universes, double rate, const std::string &device);

    // Runs until the user quits; false (with a message on err) when there is
    // no terminal to draw on.
    bool run(std::ostream &err);

private:
    using Clock = std::chrono::steady_clock;

    struct Shown
    {
        int universe = 0;
        std::uint8_t previous[512] = {};
        bool drawn = false;
        std::uint32_t markPackets = 0;
        Clock::time_point markTime;
        double rate = 0;
    };

    // Draws one refresh; returns the number of lines the whole view needs.
    int draw();

    const MonitorHost &host;
    std::vector<Shown> shown;
    std::string device;
    int refreshMs;
    int scroll = 0;
    bool hex = false;
};

#endif // LIVEVIEW_H
