#include "testwindow.h"

#include "dorvantis.h"
#include "modalanswerer.h"
#include "selectipdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace TestWindow {

std::unique_ptr<dorvantis> create(const QString &address, Record *record, Leave leave)
{
    if (!address.isEmpty() && !address.startsWith(QLatin1String("127.")))
        qFatal("tests choose loopback addresses only, not %s", qPrintable(address));

    Record scratch;
    Record &seen = record ? *record : scratch;
    ModalAnswerer answerer([&](QWidget *dialog) {
        if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
            seen.messageBoxes << box->windowTitle() + QLatin1String(": ") + box->text();
            box->accept();
            return;
        }
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
        switch (leave) {
        case Leave::Ok:
            QTest::mouseClick(select->ui.okButton, Qt::LeftButton);
            break;
        case Leave::Escape:
            QTest::keyClick(select, Qt::Key_Escape);
            break;
        case Leave::CloseButton:
            select->close();
            break;
        }
    });
    return std::unique_ptr<dorvantis>(new dorvantis);
}

} // namespace TestWindow
