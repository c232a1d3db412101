#include "addcolumns.h"
#include "localaddresses.h"
#include "modalanswerer.h"
#include "programsettingstest.h"
#include "selectipdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

// Link seam: this definition is linked instead of the one in the discovery
// library (the linker takes no archive member for an already defined symbol),
// so every dialog here sees exactly the addresses a test sets.
namespace {
LocalAddresses nextDiscovery;
int discoveryCalls = 0;
} // namespace

LocalAddresses discoverLocalAddresses()
{
    ++discoveryCalls;
    return nextDiscovery;
}

namespace {

void discoveryFinds(const QStringList &addresses)
{
    nextDiscovery = LocalAddresses();
    nextDiscovery.hostName = "studio-pc";
    for (const QString &address : addresses)
        nextDiscovery.addresses.push_back(address.toStdString());
}

QStringList comboItems(const SelectIpDialog &dialog)
{
    QStringList items;
    for (int i = 0; i < dialog.ui.ipComboBox->count(); ++i)
        items << dialog.ui.ipComboBox->itemText(i);
    return items;
}

// Everything written to one of the C streams while it is alive.
class StreamCapture
{
public:
    explicit StreamCapture(FILE *stream)
        : stream(stream)
        , fd(fileno(stream))
    {
        file.open();
        std::fflush(stream);
        saved = dup(fd);
        dup2(file.handle(), fd);
    }

    QByteArray finish()
    {
        std::fflush(stream);
        dup2(saved, fd);
        close(saved);
        file.seek(0);
        return file.readAll();
    }

private:
    FILE *stream;
    int fd;
    int saved = -1;
    QTemporaryFile file;
};

QStringList debugMessages;

void recordDebugMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        debugMessages << message;
}

} // namespace

class tst_SelectIpDialog : public ProgramSettingsTest
{
    Q_OBJECT

private slots:
    void init();

    void preselectsOnlyAnExactMatch_data();
    void preselectsOnlyAnExactMatch();
    void everyWayOutKeepsTheCurrentAddress_data();
    void everyWayOutKeepsTheCurrentAddress();
    void formOffersLabelComboAndOkButton();
    void longestAddressShowsWhole();
    void discoveryOutcomeIsTracedAndReported_data();
    void discoveryOutcomeIsTracedAndReported();
};

void tst_SelectIpDialog::init()
{
    QSettings().remove("Network");
    discoveryFinds({});
    discoveryCalls = 0;
}

void tst_SelectIpDialog::preselectsOnlyAnExactMatch_data()
{
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QVariant>("stored"); // invalid: no stored choice
    QTest::addColumn<int>("current");

    const QStringList two{"192.168.1.10", "10.0.0.5"};
    QTest::newRow("first start") << two << QVariant() << 0;
    QTest::newRow("second address stored") << two << QVariant("10.0.0.5") << 1;
    QTest::newRow("first address stored") << two << QVariant("192.168.1.10") << 0;
    QTest::newRow("leading blank") << two << QVariant(" 10.0.0.5") << 0;
    QTest::newRow("trailing blank") << two << QVariant("10.0.0.5 ") << 0;
    QTest::newRow("address changed since") << two << QVariant("10.0.0.7") << 0;
    QTest::newRow("empty stored value") << two << QVariant("") << 0;
    QTest::newRow("stored is a prefix of an earlier address")
        << QStringList{"10.0.0.50", "10.0.0.5"} << QVariant("10.0.0.5") << 1;
    QTest::newRow("duplicates stay, first match wins")
        << QStringList{"10.0.0.5", "127.0.0.1", "127.0.0.1"} << QVariant("127.0.0.1") << 1;
    QTest::newRow("nothing found, nothing stored") << QStringList() << QVariant() << -1;
    QTest::newRow("nothing found") << QStringList() << QVariant("10.0.0.5") << -1;
}

void tst_SelectIpDialog::preselectsOnlyAnExactMatch()
{
    QFETCH(QStringList, found);
    QFETCH(QVariant, stored);
    QFETCH(int, current);

    if (stored.isValid())
        QSettings().setValue("Network/ip", stored);
    discoveryFinds(found);

    SelectIpDialog dialog;
    QCOMPARE(discoveryCalls, 1);
    QCOMPARE(comboItems(dialog), found);
    QCOMPARE(dialog.ui.ipComboBox->currentIndex(), current);
    QCOMPARE(dialog.ui.ipComboBox->currentText(), current < 0 ? QString() : found.at(current));

    // Storing the choice is the caller's business.
    QCOMPARE(QSettings().value("Network/ip"), stored);
}

void tst_SelectIpDialog::everyWayOutKeepsTheCurrentAddress_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");

    QTest::newRow("ok") << "ok" << int(QDialog::Accepted);
    QTest::newRow("escape") << "escape" << int(QDialog::Rejected);
    QTest::newRow("close button") << "close" << int(QDialog::Rejected);
}

void tst_SelectIpDialog::everyWayOutKeepsTheCurrentAddress()
{
    QFETCH(QString, how);
    QFETCH(int, result);

    QSettings().setValue("Network/ip", "10.0.0.5");
    discoveryFinds({"192.168.1.10", "10.0.0.5", "127.0.0.1"});

    SelectIpDialog dialog;
    QCOMPARE(dialog.ui.ipComboBox->currentText(), QString("10.0.0.5"));

    // Queued so that the user's choice and way out happen inside exec().
    QMetaObject::invokeMethod(dialog.ui.ipComboBox, "setCurrentIndex", Qt::QueuedConnection, Q_ARG(int, 2));
    if (how == "ok")
        QMetaObject::invokeMethod(dialog.ui.okButton, "click", Qt::QueuedConnection);
    else if (how == "escape") // to the focused combo box, which passes it on
        QCoreApplication::postEvent(dialog.ui.ipComboBox,
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    else
        QMetaObject::invokeMethod(&dialog, "close", Qt::QueuedConnection);
    QCOMPARE(dialog.exec(), result);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.ui.ipComboBox->currentText(), QString("127.0.0.1"));
    QCOMPARE(QSettings().value("Network/ip"), QVariant("10.0.0.5"));
}

void tst_SelectIpDialog::formOffersLabelComboAndOkButton()
{
    SelectIpDialog dialog;

    QCOMPARE(dialog.objectName(), QString("SelectIpDialogClass"));
    QCOMPARE(dialog.windowTitle(), QString("Select IP"));
    QCOMPARE(dialog.ui.label->text(), QString("Select IP:"));
    QCOMPARE(dialog.ui.okButton->text(), QString("Ok"));
    QCOMPARE(dialog.ui.ipComboBox->objectName(), QString("ipComboBox"));
    QVERIFY(!dialog.ui.ipComboBox->isEditable());
    // Nothing was found, yet the user can still leave with Ok.
    QVERIFY(dialog.ui.okButton->isEnabled());

    // Two right-aligned rows: a spacer first, then the widgets.
    QCOMPARE(dialog.layout(), static_cast<QLayout *>(dialog.ui.hboxLayout));
    QVERIFY(dialog.ui.hboxLayout1->itemAt(0)->spacerItem());
    QCOMPARE(dialog.ui.hboxLayout1->itemAt(1)->widget(), static_cast<QWidget *>(dialog.ui.label));
    QCOMPARE(dialog.ui.hboxLayout1->itemAt(2)->widget(), static_cast<QWidget *>(dialog.ui.ipComboBox));
    QVERIFY(dialog.ui.hboxLayout2->itemAt(0)->spacerItem());
    QCOMPARE(dialog.ui.hboxLayout2->itemAt(1)->widget(), static_cast<QWidget *>(dialog.ui.okButton));

    QVERIFY(dialog.width() >= qMax(168, dialog.minimumSizeHint().width()));
    QVERIFY(dialog.height() >= qMax(88, dialog.minimumSizeHint().height()));
}

void tst_SelectIpDialog::longestAddressShowsWhole()
{
    // Whatever the form's designed size and the style's metrics.
    discoveryFinds({"192.168.100.200", "10.0.0.5"});
    SelectIpDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QComboBox *combo = dialog.ui.ipComboBox;
    QStyleOptionComboBox option;
    option.initFrom(combo);
    const QRect textArea =
        combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    QVERIFY(textArea.width() >= combo->fontMetrics().horizontalAdvance(QStringLiteral("192.168.100.200")));
}

void tst_SelectIpDialog::discoveryOutcomeIsTracedAndReported_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("addresses"); // what the failed step may have left behind
    QTest::addColumn<QStringList>("debug");
    addColumns<QByteArray>({"out", "err"});
    QTest::addColumn<bool>("box");
    QTest::addColumn<QStringList>("listed");

    const QStringList three{"192.168.1.10", "10.0.0.5", "10.0.0.5"};
    const QStringList name{"found name studio-pc\n"};

    QTest::newRow("found")
        << int(LocalAddresses::Found) << three << name
        << QByteArray("found ip 192.168.1.10\nfound ip 10.0.0.5\nfound ip 10.0.0.5\n") << QByteArray()
        << false << three;
    QTest::newRow("found no address")
        << int(LocalAddresses::Found) << QStringList() << name << QByteArray() << QByteArray() << false
        << QStringList();
    QTest::newRow("socket library not started")
        << int(LocalAddresses::StartupFailed) << three << QStringList() << QByteArray()
        << QByteArray("WSAStartup failed.\n") << false << QStringList();
    QTest::newRow("no host name")
        << int(LocalAddresses::NameFailed) << three << QStringList() << QByteArray() << QByteArray()
        << true << QStringList();
    QTest::newRow("name does not resolve")
        << int(LocalAddresses::LookupFailed) << three << name << QByteArray() << QByteArray() << true
        << QStringList();
}

void tst_SelectIpDialog::discoveryOutcomeIsTracedAndReported()
{
    QFETCH(int, status);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, debug);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(bool, box);
    QFETCH(QStringList, listed);

    discoveryFinds(addresses);
    nextDiscovery.status = LocalAddresses::Status(status);
    if (status == LocalAddresses::StartupFailed || status == LocalAddresses::NameFailed)
        nextDiscovery.hostName.clear();

    QList<SeenBox> boxes;
    ModalAnswerer closer(&boxes);
    debugMessages.clear();
    StreamCapture capturedOut(stdout);
    StreamCapture capturedErr(stderr);
    const QtMessageHandler previous = qInstallMessageHandler(recordDebugMessage);
    SelectIpDialog dialog;
    qInstallMessageHandler(previous);
    const QByteArray writtenErr = capturedErr.finish();
    const QByteArray writtenOut = capturedOut.finish();

    QCOMPARE(debugMessages, debug);
    QCOMPARE(writtenOut, out);
    QCOMPARE(writtenErr, err);
    QCOMPARE(comboItems(dialog), listed);
    QCOMPARE(dialog.ui.ipComboBox->currentText(), listed.value(0));

    QCOMPARE(boxes.size(), box ? 1 : 0);
    if (box) {
        const SeenBox &seen = boxes.first();
        QCOMPARE(seen.title, QString("error"));
        QCOMPARE(seen.text, QString("error occured initializing."));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

QTEST_MAIN(tst_SelectIpDialog)
#include "tst_selectipdialog.moc"
