#include "receiveoptions.h"

#include "universelist.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace {

// The stored text: the INI file keeps every value as text, the registry
// also as a number, and reads an unquoted "0-15, 32" as a list of two.
QString storedText(const QSettings &settings, const char *key)
{
    const QVariant stored = settings.value(QLatin1String(key));
    const QString text = stored.userType() == QMetaType::QStringList
        ? stored.toStringList().join(QLatin1Char(','))
        : stored.toString();
    return text.trimmed();
}

// Decimal only: "010" is ten, as a user writing it means.
bool readNumber(const QString &text, int *value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok, 10);
    return ok;
}

// The stored number from `low` to `high`; `fallback` without one, and when
// it cannot be read, which is said.
quint16 readRange(const QSettings &settings, const char *key, int low, int high, quint16 fallback)
{
    if (!settings.contains(QLatin1String(key)))
        return fallback;
    const QString text = storedText(settings, key);
    int value = 0;
    if (readNumber(text, &value) && value >= low && value <= high)
        return quint16(value);
    qDebug("%s: \"%s\" is not a number %d-%d; taking %d", key, qPrintable(text), low, high, fallback);
    return fallback;
}

QVector<quint16> allRecords()
{
    QVector<quint16> records;
    for (int record = 0; record < UniverseMap::RecordCount; ++record)
        records.append(quint16(record));
    return records;
}

// The records `text` names, ascending and without repeats; false when it
// is not such a list.
bool parseRecords(const QString &text, QVector<quint16> *parsed)
{
    const auto number = [](const std::string &word, long long *value) {
        int read = 0;
        const bool ok = readNumber(QString::fromStdString(word), &read);
        *value = read;
        return ok;
    };
    std::vector<UniverseList::Range> ranges;
    if (!UniverseList::parse(text.toStdString(), number, &ranges))
        return false;
    QVector<quint16> found;
    for (const UniverseList::Range &range : ranges) {
        if (range.first < 0 || range.last >= UniverseMap::RecordCount)
            return false;
        for (long long record = range.first; record <= range.last; ++record)
            found.append(quint16(record));
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    *parsed = found;
    return true;
}

} // namespace

ReceiveOptions::ReceiveOptions()
    : records(allRecords())
{
}

UniverseMap ReceiveOptions::universeMap() const
{
    return UniverseMap(artNetFirst, sacnFirst, std::vector<std::uint16_t>(records.cbegin(), records.cend()));
}

ReceiveOptions ReceiveOptions::read(const QSettings &settings, const QHostAddress &address)
{
    ReceiveOptions options;
    options.address = address;

    if (settings.contains(QLatin1String(UniversesKey))) {
        const QString text = storedText(settings, UniversesKey);
        if (!parseRecords(text, &options.records))
            qDebug("%s: \"%s\" is not a list of universes 0-%d such as \"0-15, 32\"; offering all %d",
                   UniversesKey, qPrintable(text), UniverseMap::RecordCount - 1, UniverseMap::RecordCount);
    }

    options.artNetFirst = readRange(settings, ArtNetFirstKey, 0, UniverseMap::LastArtNetFirst, 0);

    if (settings.contains(QLatin1String(ArtNetMergeKey))) {
        const QString text = storedText(settings, ArtNetMergeKey).toLower();
        if (text == QLatin1String("htp"))
            options.artNetMerge = ArtNetMerge::Mode::Htp;
        else if (text == QLatin1String("ltp"))
            options.artNetMerge = ArtNetMerge::Mode::Ltp;
        else
            qDebug("%s: \"%s\" is neither htp nor ltp; the latest ArtDmx wins", ArtNetMergeKey, qPrintable(text));
    }

    if (settings.contains(QLatin1String(SacnKey))) {
        const QString text = storedText(settings, SacnKey).toLower();
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            options.sacn = false;
        else if (text != QLatin1String("true") && text != QLatin1String("1"))
            qDebug("%s: \"%s\" is neither true nor false; sACN stays on", SacnKey, qPrintable(text));
    }

    options.sacnFirst = readRange(settings, SacnFirstKey, 1, LastSacnFirst, 1);
    return options;
}
