#include "sacnsetting.h"

#include "sacnmerger.h"

#include <QSettings>
#include <QString>
#include <QVariant>

namespace SacnSetting {

namespace {

// The stored text: the INI file keeps every value as text, the registry
// also as a number.
QString storedText(const QSettings &settings, const char *key)
{
    return settings.value(QLatin1String(key)).toString().trimmed();
}

} // namespace

bool enabled(const QSettings &settings)
{
    if (!settings.contains(QLatin1String(EnabledKey)))
        return true;
    const QString text = storedText(settings, EnabledKey).toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    qDebug("%s: \"%s\" is neither true nor false; sACN stays on", EnabledKey, qPrintable(text));
    return true;
}

quint16 firstUniverse(const QSettings &settings)
{
    if (!settings.contains(QLatin1String(FirstUniverseKey)))
        return DefaultFirstUniverse;
    const QString text = storedText(settings, FirstUniverseKey);
    bool ok = false;
    const int first = text.toInt(&ok, 10);
    if (ok && first >= Sacn::MinUniverse && first <= SacnMerger::LastFirstUniverse)
        return quint16(first);
    qDebug("%s: \"%s\" is not a universe %d-%d; taking %d", FirstUniverseKey, qPrintable(text),
           Sacn::MinUniverse, SacnMerger::LastFirstUniverse, DefaultFirstUniverse);
    return DefaultFirstUniverse;
}

} // namespace SacnSetting
