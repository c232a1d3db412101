#ifndef IGMPGROUPS_H
#define IGMPGROUPS_H

// The IPv4 multicast groups joined on a device of the test's network
// namespace, as Linux lists them in /proc/net/igmp: ascending, host order,
// without 224.0.0.1, which every device holds. Also the namespace's cap on
// the groups one socket may join.

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace IgmpGroups {

constexpr quint32 AllHosts = 0xE0000001;

// net.ipv4.igmp_max_memberships; 0 when it cannot be read.
inline int perSocketLimit()
{
    QFile setting(QStringLiteral("/proc/sys/net/ipv4/igmp_max_memberships"));
    return setting.open(QIODevice::ReadOnly) ? setting.readAll().trimmed().toInt() : 0;
}

// The groups, and for each the number of sockets that joined it.
struct Table
{
    QList<quint32> groups;
    QVector<int> users;
};

inline Table read(const QString &device)
{
    QList<std::pair<quint32, int>> found;
    QFile file(QStringLiteral("/proc/net/igmp"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QString current;
    for (const QString &line : QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char('\t'), Qt::SkipEmptyParts).join(QLatin1Char(' '))
                                       .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() < 2)
            continue;
        if (!line.startsWith(QLatin1Char('\t'))) {
            current = fields.at(1).endsWith(QLatin1Char(':')) ? fields.at(1).chopped(1) : fields.at(1);
            continue;
        }
        // The group as the kernel holds it, network byte order read as a native word.
        const quint32 group = qFromBigEndian(fields.at(0).toUInt(nullptr, 16));
        if (current == device && group != AllHosts)
            found.append({group, fields.at(1).toInt()});
    }
    std::sort(found.begin(), found.end());
    Table table;
    for (const auto &group : found) {
        table.groups << group.first;
        table.users << group.second;
    }
    return table;
}

inline QList<quint32> on(const QString &device)
{
    return read(device).groups;
}

inline QVector<int> users(const QString &device)
{
    return read(device).users;
}

} // namespace IgmpGroups

#endif // IGMPGROUPS_H
