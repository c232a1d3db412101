#ifndef QUIETDEBUG_H
#define QUIETDEBUG_H

// A message handler that drops qDebug lines and passes on the rest: the
// mapper traces every ArtDmx, and under load that trace would drown the
// output that matters and slow the run. Install with
// qInstallMessageHandler(quietDebug).

#include <QString>
#include <QtGlobal>

#include <cstdio>

inline void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

#endif // QUIETDEBUG_H
