#include "signalquitter.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};

// Read end and write end; the handler may run at any moment, so the write
// end is a plain int it can reach without locks.
int wakeUp[2] = {-1, -1};
struct sigaction previous[sizeof Signals / sizeof Signals[0]];
bool installed[sizeof Signals / sizeof Signals[0]];

extern "C" void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // A full pipe already holds a wake-up; losing this one changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(wakeUp[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

SignalQuitter::SignalQuitter(QObject *parent)
    : QObject(parent)
{
    if (::pipe(wakeUp) != 0)
        return;
    for (int fd : wakeUp) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
    connect(notifier, SIGNAL(activated(QSocketDescriptor)), this, SLOT(quitApplication()));

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < sizeof Signals / sizeof Signals[0]; ++i) {
        ::sigaction(Signals[i], nullptr, &previous[i]);
        if (Signals[i] == SIGINT && previous[i].sa_handler == SIG_IGN)
            continue;
        installed[i] = ::sigaction(Signals[i], &action, nullptr) == 0;
    }
}

SignalQuitter::~SignalQuitter()
{
    for (std::size_t i = 0; i < sizeof Signals / sizeof Signals[0]; ++i) {
        if (installed[i])
            ::sigaction(Signals[i], &previous[i], nullptr);
        installed[i] = false;
    }
    delete notifier;
    for (int &fd : wakeUp) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalQuitter::quitApplication()
{
    char bytes[16];
    while (::read(wakeUp[0], bytes, sizeof bytes) > 0) {
    }
    // exit() rather than quit(): under Qt 6 quit() first asks the windows to
    // close, which the main window answers with its tray notice.
    QCoreApplication::exit(0);
}
