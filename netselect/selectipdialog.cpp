#include "selectipdialog.h"

#include "localaddresses.h"

#include <QIcon>
#include <QMessageBox>
#include <QSettings>

#include <cstdio>

SelectIpDialog::SelectIpDialog(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    ui.setupUi(this);
    // The designed size cuts off all but the shortest addresses: room for
    // the longest dotted address, 255.255.255.255.
    ui.ipComboBox->setMinimumContentsLength(15);
    // Never smaller than the layout needs, whatever the style's metrics.
    resize(size().expandedTo(minimumSizeHint()));

    findLocalIps();
    ui.ipComboBox->insertItems(ui.ipComboBox->count(), ipList);

    connect(ui.okButton, SIGNAL(clicked()), this, SLOT(accept()));
    setWindowIcon(QIcon(QStringLiteral(":/dorvantis/icon.png")));

    QSettings settings;
    settings.beginGroup(QStringLiteral("Network"));
    if (settings.contains(QStringLiteral("ip"))) {
        const QString stored = settings.value(QStringLiteral("ip")).toString();
        const int index = ui.ipComboBox->findData(stored, Qt::EditRole,
                                                  Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index != -1)
            ui.ipComboBox->setCurrentIndex(index);
    }
    settings.endGroup();
}

SelectIpDialog::~SelectIpDialog() = default;

void SelectIpDialog::findLocalIps()
{
    const LocalAddresses found = discoverLocalAddresses();

    if (found.status == LocalAddresses::StartupFailed) {
        std::fputs("WSAStartup failed.\n", stderr);
        return;
    }
    if (found.status != LocalAddresses::NameFailed)
        qDebug("found name %s\n", found.hostName.c_str());
    if (found.status != LocalAddresses::Found) {
        // The user is not told which step failed.
        QMessageBox::critical(nullptr, tr("error"), tr("error occured initializing."),
                              QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }

    for (const std::string &address : found.addresses) {
        std::printf("found ip %s\n", address.c_str());
        ipList.append(QString::fromLatin1(address.c_str()));
    }
    std::fflush(stdout);
}
