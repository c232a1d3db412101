#ifndef TESTWINDOW_H
#define TESTWINDOW_H

#include "modalanswerer.h"

#include <QString>
#include <QStringList>

#include <memory>

class dorvantis;
class PeerNetwork;

// Builds the main window as main() does, answering the address dialog that
// its constructor runs. Only a loopback address or none at all may be chosen,
// so that the node never answers anything beyond this machine, unless the
// test made a network of its own for it.
namespace TestWindow {

struct Record
{
    int addressDialogs = 0;
    bool windowVisibleDuringDialog = false;
    QStringList messageBoxes; // "title: text" of every box, each accepted
};

std::unique_ptr<dorvantis> create(const QString &address, Record *record = nullptr, Leave leave = Leave::Ok);

#ifdef Q_OS_LINUX
// Any address, on a network that lives inside the test's own namespaces.
std::unique_ptr<dorvantis> createOn(const PeerNetwork &network, const QString &address);
#endif

} // namespace TestWindow

#endif // TESTWINDOW_H
