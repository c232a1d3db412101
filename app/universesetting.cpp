#include "universesetting.h"

#include "universedataarea.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace UniverseSetting {

namespace {

// Decimal only: "010" is ten, as a user writing it means.
bool parseUniverse(const QString &text, int *universe)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < 0 || value >= UniverseData::UniverseCount)
        return false;
    *universe = value;
    return true;
}

QVector<quint16> all()
{
    QVector<quint16> universes;
    for (int u = 0; u < UniverseData::UniverseCount; ++u)
        universes.append(quint16(u));
    return universes;
}

} // namespace

bool parse(const QString &text, QVector<quint16> *universes)
{
    QVector<quint16> found;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList bounds = item.split(QLatin1Char('-'));
        int first = 0;
        int last = 0;
        if (bounds.size() > 2 || !parseUniverse(bounds.first(), &first)
            || !parseUniverse(bounds.last(), &last) || last < first)
            return false;
        for (int u = first; u <= last; ++u)
            found.append(quint16(u));
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    *universes = found;
    return true;
}

QVector<quint16> read(const QSettings &settings)
{
    if (!settings.contains(QLatin1String(Key)))
        return all();
    const QVariant stored = settings.value(QLatin1String(Key));
    // An INI file reads an unquoted "0-15, 32" as a list of two strings.
    const QString text = stored.userType() == QMetaType::QStringList
        ? stored.toStringList().join(QLatin1Char(','))
        : stored.toString();
    QVector<quint16> universes;
    if (parse(text, &universes))
        return universes;
    qDebug("%s: \"%s\" is not a list of universes 0-%d such as \"0-15, 32\"; offering all %d",
           Key, qPrintable(text), UniverseData::UniverseCount - 1, UniverseData::UniverseCount);
    return all();
}

} // namespace UniverseSetting
