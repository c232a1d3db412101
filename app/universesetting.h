#ifndef UNIVERSESETTING_H
#define UNIVERSESETTING_H

// Which universes the node offers controllers as output ports, stored next to
// the chosen address: settings group "Network", key "universes". The value is
// a list of universes 0-255 and inclusive ranges separated by commas, spaces
// allowed, e.g. "0-15, 32". Without the key the node offers all 256, every
// universe the shared area holds.

#include <QVector>

class QSettings;
class QString;

namespace UniverseSetting {

constexpr char Key[] = "Network/universes";

// The universes `text` names, ascending and without repeats; false when it is
// not such a list.
bool parse(const QString &text, QVector<quint16> *universes);

// The stored choice; all 256 without one, and also when the stored value
// cannot be read, which is then said on the debug output.
QVector<quint16> read(const QSettings &settings);

} // namespace UniverseSetting

#endif // UNIVERSESETTING_H
