#include "virtualdisplay.h"

#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QThread>

#include <X11/Xlib.h>

VirtualDisplay::~VirtualDisplay()
{
    stopTray();
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        if (!xvfb.waitForFinished(5000)) {
            xvfb.kill();
            xvfb.waitForFinished();
        }
    }
}

QStringList VirtualDisplay::missingTools(bool withTray)
{
    QStringList tools = {QStringLiteral("Xvfb"), QStringLiteral("xdotool")};
    if (withTray)
        tools << QStringLiteral("trayer");
    QStringList missing;
    for (const QString &tool : tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            missing << tool;
    }
    return missing;
}

bool VirtualDisplay::start()
{
    // Xvfb picks a free display number and writes it to its standard output.
    // Without -noreset it resets whenever its last client leaves, as between
    // two programs, and refuses connections while it does.
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                                       QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                                       QStringLiteral("0"), QStringLiteral("1024x768x24")});
    if (!xvfb.waitForStarted())
        return false;
    QDeadlineTimer deadline(20000);
    while (!xvfb.canReadLine() && !deadline.hasExpired())
        xvfb.waitForReadyRead(100);
    if (!xvfb.canReadLine())
        return false;
    displayName = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine()).trimmed();
    return true;
}

QProcessEnvironment VirtualDisplay::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), displayName);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // No session bus: a tray, if any, is found the X11 way.
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    return env;
}

bool VirtualDisplay::startTray()
{
    tray.setProcessEnvironment(environment());
    tray.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tray.setStandardOutputFile(QProcess::nullDevice());
    tray.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                                          QStringLiteral("right"), QStringLiteral("--widthtype"),
                                          QStringLiteral("request"), QStringLiteral("--height"),
                                          QStringLiteral("32"), QStringLiteral("--SetDockType"),
                                          QStringLiteral("false")});
    if (!tray.waitForStarted()) {
        qWarning("trayer did not start: %s", qPrintable(tray.errorString()));
        return false;
    }
    // The tray is ready once it owns the system tray selection of screen 0.
    Display *x = XOpenDisplay(displayName.toLatin1().constData());
    if (!x) {
        qWarning("cannot open display %s", qPrintable(displayName));
        return false;
    }
    const Atom selection = XInternAtom(x, "_NET_SYSTEM_TRAY_S0", False);
    QDeadlineTimer deadline(20000);
    bool owned = false;
    while (!(owned = XGetSelectionOwner(x, selection) != None) && !deadline.hasExpired()
           && tray.state() == QProcess::Running) {
        tray.waitForFinished(50);
    }
    XCloseDisplay(x);
    if (!owned)
        qWarning("trayer took no system tray selection (%s, exit code %d)",
                 tray.state() == QProcess::Running ? "running" : "ended", tray.exitCode());
    return owned;
}

void VirtualDisplay::stopTray()
{
    if (tray.state() == QProcess::NotRunning)
        return;
    tray.terminate();
    if (!tray.waitForFinished(5000)) {
        tray.kill();
        tray.waitForFinished();
    }
}

bool VirtualDisplay::run(const QString &program, const QStringList &arguments, QString *output, int timeoutMs,
                         const QProcessEnvironment &environment) const
{
    QProcess process;
    process.setProcessEnvironment(environment.isEmpty() ? this->environment() : environment);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool VirtualDisplay::xdotool(const QStringList &arguments, QString *output, int timeoutMs) const
{
    const bool succeeded = run(QStringLiteral("xdotool"), arguments, output, timeoutMs);
    if (output)
        *output = output->trimmed();
    return succeeded;
}

QString VirtualDisplay::waitForWindow(const QString &namePattern, int timeoutMs) const
{
    // No --sync: xdotool ends with an X error when a window it looks at goes
    // away during the search, as programs' helper windows do; search again.
    QDeadlineTimer deadline(timeoutMs);
    do {
        QString windows;
        if (xdotool({"search", "--onlyvisible", "--name", namePattern}, &windows) && !windows.isEmpty())
            return windows.section(QLatin1Char('\n'), 0, 0);
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return QString();
}

bool VirtualDisplay::windowShown(const QString &namePattern) const
{
    return xdotool({"search", "--onlyvisible", "--name", namePattern});
}

QStringList VirtualDisplay::windowsOfClass(const QString &classPattern) const
{
    QString windows;
    if (!xdotool({"search", "--onlyvisible", "--classname", classPattern}, &windows))
        return {};
    return windows.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString VirtualDisplay::describeWindows(const QString &classPattern) const
{
    QStringList lines;
    for (const QString &window : windowsOfClass(classPattern)) {
        QString name, geometry;
        xdotool({"getwindowname", window}, &name);
        xdotool({"getwindowgeometry", window}, &geometry);
        lines << QStringLiteral("%1 \"%2\" %3").arg(window, name, geometry.simplified());
    }
    return lines.join(QLatin1Char('\n'));
}

QString VirtualDisplay::waitForOtherWindow(const QString &classPattern, const QString &except, const QString &name,
                                          int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        for (const QString &window : windowsOfClass(classPattern)) {
            QString windowName;
            if (window != except
                && (name.isEmpty() || (xdotool({"getwindowname", window}, &windowName) && windowName == name)))
                return window;
        }
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return QString();
}

bool VirtualDisplay::untilAWindowOpens(const QString &classPattern, const std::function<bool()> &action,
                                       int attempts) const
{
    const int before = windowsOfClass(classPattern).size();
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!action())
            return false;
        QDeadlineTimer deadline(2000);
        while (!deadline.hasExpired()) {
            if (windowsOfClass(classPattern).size() > before)
                return true;
            QThread::msleep(50);
        }
    }
    return false;
}

bool VirtualDisplay::untilTheWindowCloses(const QString &window, const std::function<bool()> &action,
                                          int attempts) const
{
    auto shown = [&] {
        QString visible;
        return xdotool({"search", "--onlyvisible", "--name", "."}, &visible)
            && visible.split(QLatin1Char('\n')).contains(window);
    };
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // An action on a window that has just gone fails.
        if (!action())
            return !shown();
        QDeadlineTimer deadline(2000);
        while (!deadline.hasExpired()) {
            if (!shown())
                return true;
            QThread::msleep(50);
        }
    }
    return false;
}

bool VirtualDisplay::requestClose(const QString &window) const
{
    Display *x = XOpenDisplay(displayName.toLatin1().constData());
    if (!x)
        return false;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window.toULong();
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(x, event.xclient.window, False, NoEventMask, &event) != 0;
    XSync(x, False);
    XCloseDisplay(x);
    return sent;
}

bool VirtualDisplay::clickWindow(const QString &window, int button) const
{
    QString geometry;
    if (!xdotool({"getwindowgeometry", "--shell", window}, &geometry))
        return false;
    int x = 0, y = 0, width = 0, height = 0;
    for (const QString &line : geometry.split(QLatin1Char('\n'))) {
        const QString value = line.section(QLatin1Char('='), 1);
        if (line.startsWith(QLatin1String("X=")))
            x = value.toInt();
        else if (line.startsWith(QLatin1String("Y=")))
            y = value.toInt();
        else if (line.startsWith(QLatin1String("WIDTH=")))
            width = value.toInt();
        else if (line.startsWith(QLatin1String("HEIGHT=")))
            height = value.toInt();
    }
    return xdotool({"mousemove", QString::number(x + width / 2), QString::number(y + height / 2), "click",
                    QString::number(button)});
}

bool VirtualDisplay::screenshot(const QString &window, const QString &pngPath) const
{
    return run(QStringLiteral("import"), {QStringLiteral("-window"), window, pngPath});
}
