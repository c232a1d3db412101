#include "liveview.h"

#include "monitorhost.h"
#include "universedataarea.h"

#include <ncurses.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

using UniverseData::ChannelCount;
constexpr int LabelWidth = 4;
constexpr short ChangedPair = 1;

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int)
{
    interrupted = 1;
}

} // namespace

LiveView::LiveView(const MonitorHost &host, const std::vector<int> &universes, double rate, const std::string &device)
    : host(host)
    , device(device)
    , refreshMs(std::max(10, int(1000 / rate)))
{
    for (int universe : universes) {
        Shown s;
        s.universe = universe;
        shown.push_back(s);
    }
}

bool LiveView::run(std::ostream &err)
{
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        err << "dmxmonitor: the live view needs a terminal; use --once for plain text\n";
        return false;
    }
    // newterm, unlike initscr, reports an unusable terminal instead of exiting.
    SCREEN *screen = newterm(nullptr, stdout, stdin);
    if (!screen) {
        err << "dmxmonitor: cannot use the terminal (is TERM set?); use --once for plain text\n";
        return false;
    }
    // A Ctrl+C that killed the process would leave the terminal in raw mode.
    void (*previousInt)(int) = std::signal(SIGINT, onInterrupt);
    void (*previousTerm)(int) = std::signal(SIGTERM, onInterrupt);
    cbreak();
    noecho();
    curs_set(0);
    keypad(stdscr, TRUE);
    timeout(refreshMs);
    if (has_colors()) {
        start_color();
        use_default_colors();
        init_pair(ChangedPair, COLOR_BLACK, COLOR_YELLOW);
    }

    const Clock::time_point start = Clock::now();
    for (Shown &s : shown)
        s.markTime = start;

    bool running = true;
    while (running && !interrupted) {
        const int lines = draw();
        const int page = std::max(1, LINES - 2);
        const int key = getch();
        switch (key) {
        case 'q':
        case 'Q':
        case 27: // Esc
            running = false;
            break;
        case 'h':
        case 'H':
            hex = !hex;
            break;
        case KEY_UP:
            --scroll;
            break;
        case KEY_DOWN:
            ++scroll;
            break;
        case KEY_PPAGE:
            scroll -= page;
            break;
        case KEY_NPAGE:
        case ' ':
            scroll += page;
            break;
        case KEY_HOME:
            scroll = 0;
            break;
        case KEY_END:
            scroll = lines;
            break;
        default:
            break;
        }
        scroll = std::max(0, std::min(scroll, lines - (LINES - 1)));
    }

    endwin();
    delscreen(screen);
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    return true;
}

int LiveView::draw()
{
    const Clock::time_point now = Clock::now();
    const int cellWidth = hex ? 3 : 4;
    // Rows of 32, 16 or 8 channels keep the channel numbers easy to follow.
    int perRow = 32;
    while (perRow > 8 && LabelWidth + perRow * cellWidth > COLS)
        perRow /= 2;
    const int rowsPerUniverse = (ChannelCount + perRow - 1) / perRow;

    erase();
    attron(A_REVERSE);
    mvhline(0, 0, ' ', COLS);
    mvprintw(0, 0, " dmxmonitor  device %s  [%s]  q quit  h hex/dec  arrows scroll", device.c_str(),
             hex ? "hex" : "dec");
    attroff(A_REVERSE);

    int line = 0; // line of the whole view; screen row = line - scroll + 1
    auto visible = [&](int l) { return l >= scroll && l - scroll + 1 < LINES; };
    for (Shown &s : shown) {
        const MonitorHost::Port port = host.port(s.universe);
        std::uint8_t channels[ChannelCount] = {};
        if (port.channels)
            std::memcpy(channels, port.channels, sizeof channels);

        const double seconds = std::chrono::duration<double>(now - s.markTime).count();
        if (port.counted && seconds >= 1.0) {
            s.rate = s.drawn ? double(std::uint32_t(port.packets - s.markPackets)) / seconds : 0.0;
            s.markPackets = port.packets;
            s.markTime = now;
        } else if (port.counted && !s.drawn) {
            s.markPackets = port.packets;
        }

        if (visible(line)) {
            attron(A_BOLD);
            if (port.counted)
                mvprintw(line - scroll + 1, 0, "Universe %d   length %d   packets %u   rate %.1f/s", s.universe,
                         port.length, port.packets, s.rate);
            else
                mvprintw(line - scroll + 1, 0, "Universe %d   length %d   packets ?", s.universe, port.length);
            attroff(A_BOLD);
        }
        ++line;
        for (int row = 0; row < rowsPerUniverse; ++row, ++line) {
            if (!visible(line))
                continue;
            const int y = line - scroll + 1;
            mvprintw(y, 0, "%3d", row * perRow + 1);
            for (int col = 0; col < perRow && row * perRow + col < ChannelCount; ++col) {
                const int i = row * perRow + col;
                const bool changed = s.drawn && channels[i] != s.previous[i];
                // Bytes beyond the valid length are what earlier packets left.
                const attr_t look = changed ? (has_colors() ? COLOR_PAIR(ChangedPair) : A_REVERSE) | A_BOLD
                                            : (i >= port.length ? A_DIM : A_NORMAL);
                attron(look);
                mvprintw(y, LabelWidth + col * cellWidth, hex ? "%02X" : "%3u", channels[i]);
                attroff(look);
            }
        }
        ++line; // blank line between universes
        std::memcpy(s.previous, channels, sizeof channels);
        s.drawn = true;
    }
    refresh();
    return line;
}
