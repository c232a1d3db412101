#ifndef SELECTIPDIALOG_H
#define SELECTIPDIALOG_H

#include "ui_selectipdialog.h"

#include <QDialog>
#include <QStringList>

// Asks on which of the PC's IPv4 addresses the program shall work. The
// address chosen last time (settings "Network"/"ip") is preselected when it is
// still among the addresses found; the dialog only reads that setting; the
// caller takes ui.ipComboBox->currentText() however the dialog was left.
class SelectIpDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SelectIpDialog(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~SelectIpDialog() override;

    Ui::SelectIpDialogClass ui;

private:
    // Fills ipList once, in discovery order; reports a failure in a message box.
    void findLocalIps();

    QStringList ipList;
};

#endif // SELECTIPDIALOG_H
