#ifndef VIRTUALDISPLAY_H
#define VIRTUALDISPLAY_H

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

// An X display of the test's own (Xvfb), optionally with a real system tray
// (trayer, an XEmbed tray), on which built programs are started and driven
// from outside as a user would: windows found by name, keys and clicks sent
// with xdotool, windows asked to close as a window manager asks.
class VirtualDisplay
{
public:
    VirtualDisplay() = default;
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    // The tools this needs, or an empty list when all are installed.
    static QStringList missingTools(bool withTray = false);

    bool start();
    QString display() const { return displayName; }
    // The system environment with this display, for X11 programs.
    QProcessEnvironment environment() const;

    bool startTray();
    void stopTray();

    // Runs a program to its end, by default in environment(); true when it
    // exited with 0 within the time. The output is its standard output.
    bool run(const QString &program, const QStringList &arguments, QString *output = nullptr,
             int timeoutMs = 20000, const QProcessEnvironment &environment = {}) const;
    bool xdotool(const QStringList &arguments, QString *output = nullptr, int timeoutMs = 20000) const;
    // The first visible window whose name matches the pattern, waiting for it.
    QString waitForWindow(const QString &namePattern, int timeoutMs = 20000) const;
    bool windowShown(const QString &namePattern) const;
    // The visible windows whose class name matches the pattern.
    QStringList windowsOfClass(const QString &classPattern) const;
    // Those windows with their names and places, one a line: what a failed
    // check on them reports.
    QString describeWindows(const QString &classPattern) const;
    // Waits for a visible window of the class other than `except`; when a name
    // is given, one with exactly that name.
    QString waitForOtherWindow(const QString &classPattern, const QString &except, const QString &name = {},
                               int timeoutMs = 20000) const;
    // Repeats the action until the program shows one more window of the class
    // (a menu): keys or clicks that come before a program has taken note of
    // its focus, or while it is busy, go unnoticed, as with a real user.
    bool untilAWindowOpens(const QString &classPattern, const std::function<bool()> &action, int attempts = 10) const;
    // Repeats the action until the window is no longer shown, for the same
    // reason: a key sent as a window takes the focus may reach the one before.
    bool untilTheWindowCloses(const QString &window, const std::function<bool()> &action, int attempts = 10) const;
    // Asks the window to close (WM_DELETE_WINDOW), as a title bar's close button does.
    bool requestClose(const QString &window) const;
    // Presses and releases a mouse button on the middle of the window.
    bool clickWindow(const QString &window, int button) const;
    bool screenshot(const QString &window, const QString &pngPath) const;

private:
    QProcess xvfb;
    QProcess tray;
    QString displayName;
};

#endif // VIRTUALDISPLAY_H
