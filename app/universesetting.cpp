#include "universesetting.h"

#include "universedataarea.h"
#include "universelist.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace UniverseSetting {

namespace {

// Decimal only: "010" is ten, as a user writing it means. Spaces around a
// number are allowed.
bool readNumber(const std::string &text, long long *value)
{
    bool ok = false;
    *value = QString::fromStdString(text).trimmed().toInt(&ok, 10);
    return ok;
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
    std::vector<UniverseList::Range> ranges;
    if (!UniverseList::parse(text.toStdString(), readNumber, &ranges))
        return false;
    QVector<quint16> found;
    for (const UniverseList::Range &range : ranges) {
        if (range.first < 0 || range.last >= UniverseData::UniverseCount)
            return false;
        for (long long u = range.first; u <= range.last; ++u)
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
