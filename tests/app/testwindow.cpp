#include "testwindow.h"

#include "dorvantis.h"
#include "modalanswerer.h"
#include "selectipdialog.h"

#ifdef Q_OS_LINUX
#include "peernetwork.h"
#endif

#include <QApplication>
#include <QComboBox>

namespace TestWindow {

namespace {

std::unique_ptr<dorvantis> build(const QString &address, Record *record, Leave leave)
{
    Record scratch;
    Record &seen = record ? *record : scratch;
    QList<SeenBox> boxes;
    ModalAnswerer answerer(&boxes, [&](QWidget *dialog) {
        auto *select = qobject_cast<SelectIpDialog *>(dialog);
        if (!select)
            return;
        ++seen.addressDialogs;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (qobject_cast<dorvantis *>(top) && top->isVisible())
                seen.windowVisibleDuringDialog = true;
        }
        // Whatever this machine's discovery found, the list is made to hold
        // just the address the test wants.
        QComboBox *combo = select->ui.ipComboBox;
        combo->clear();
        if (!address.isEmpty())
            combo->addItem(address);
        leaveDialog(select, select->ui.okButton, leave);
    });
    std::unique_ptr<dorvantis> window(new dorvantis);
    for (const SeenBox &box : boxes)
        seen.messageBoxes << box.title + QLatin1String(": ") + box.text;
    return window;
}

} // namespace

std::unique_ptr<dorvantis> create(const QString &address, Record *record, Leave leave)
{
    if (!address.isEmpty() && !address.startsWith(QLatin1String("127.")))
        qFatal("tests choose loopback addresses only, not %s", qPrintable(address));
    return build(address, record, leave);
}

#ifdef Q_OS_LINUX
std::unique_ptr<dorvantis> createOn(const PeerNetwork &network, const QString &address)
{
    // A ready network proves the test's namespace private.
    if (!network.isReady())
        qFatal("no network of the test's own for %s: %s", qPrintable(address), qPrintable(network.error()));
    return build(address, nullptr, Leave::Ok);
}
#endif

} // namespace TestWindow
