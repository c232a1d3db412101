#ifndef SACNSETTING_H
#define SACNSETTING_H

// The sACN receiver's settings, beside `universes` in the group "Network":
//
//   sacn               true (the default) or false, which turns it off
//   sacnFirstUniverse  the sACN universe that feeds record 0, 1 to 63744;
//                      1 by default, the usual sACN 1 = Art-Net 0
//
// A value that cannot be read counts as no value, which is then said on the
// debug output.

#include <QtGlobal>

class QSettings;

namespace SacnSetting {

constexpr char EnabledKey[] = "Network/sacn";
constexpr char FirstUniverseKey[] = "Network/sacnFirstUniverse";
constexpr quint16 DefaultFirstUniverse = 1;

bool enabled(const QSettings &settings);
quint16 firstUniverse(const QSettings &settings);

} // namespace SacnSetting

#endif // SACNSETTING_H
