#ifndef MACHINE_H
#define MACHINE_H

// What the benchmarks say of the machine they ran on.

#include <QFile>
#include <QString>

inline QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown CPU");
}

#endif // MACHINE_H
