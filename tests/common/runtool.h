#ifndef RUNTOOL_H
#define RUNTOOL_H

// Runs one of the command-line tools to its end while this process's event
// loop keeps running, so that a node under test in this process keeps
// receiving what the tool sends.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>

struct ToolRun
{
    int exitCode = -1; // -1 when it crashed or had not ended within 20 s
    QByteArray out;
    QByteArray err;
};

inline ToolRun runTool(const QString &file, const QStringList &arguments)
{
    QProcess process;
    process.start(file, arguments);
    ToolRun run;
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < 20000)
        QTest::qWait(10);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

#endif // RUNTOOL_H
