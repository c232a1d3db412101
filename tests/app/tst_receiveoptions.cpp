#include "addcolumns.h"
#include "artnetengine.h"
#include "portaddresses.h"
#include "receiveoptions.h"
#include "settingsfile.h"

#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

// The settings as a user writes them into the settings file, read once into
// the options the receive path is built from.
class tst_ReceiveOptions : public QObject
{
    Q_OBJECT

private slots:
    void universesDecideWhatIsOffered_data();
    void universesDecideWhatIsOffered();
    void storedValuesDecideTheProtocols_data();
    void storedValuesDecideTheProtocols();
};

void tst_ReceiveOptions::universesDecideWhatIsOffered_data()
{
    // As a user writes it into the settings file; empty: no such line.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QVector<quint16>>("offered");
    QTest::addColumn<int>("replies");
    QTest::addColumn<bool>("fallsBack"); // said on the debug output

    const QVector<quint16> all = portAddresses(0, 255);
    const QVector<quint16> listed = portAddresses(0, 15) << 32;
    QTest::newRow("no setting") << QByteArray() << all << 64 << false;
    QTest::newRow("unquoted, read as a list") << QByteArray("universes=0-15, 32") << listed << 5 << false;
    QTest::newRow("quoted") << QByteArray("universes=\"0-15, 32\"") << listed << 5 << false;
    QTest::newRow("one universe") << QByteArray("universes=7") << QVector<quint16>{7} << 1 << false;
    QTest::newRow("unordered, repeated") << QByteArray("universes=\"255, 0-3,2\"") << (portAddresses(0, 3) << 255) << 2
                                         << false;
    QTest::newRow("spaces in a range") << QByteArray("universes=\" 16 - 19 \"") << portAddresses(16, 19) << 1 << false;
    QTest::newRow("beyond the area") << QByteArray("universes=0-256") << all << 64 << true;
    QTest::newRow("range backwards") << QByteArray("universes=15-0") << all << 64 << true;
    QTest::newRow("negative") << QByteArray("universes=-1") << all << 64 << true;
    QTest::newRow("word") << QByteArray("universes=all") << all << 64 << true;
    QTest::newRow("trailing comma") << QByteArray("universes=\"0-15,\"") << all << 64 << true;
    QTest::newRow("empty") << QByteArray("universes=") << all << 64 << true;
}

void tst_ReceiveOptions::universesDecideWhatIsOffered()
{
    QFETCH(QByteArray, line);
    QFETCH(QVector<quint16>, offered);
    QFETCH(int, replies);
    QFETCH(bool, fallsBack);

    const SettingsFile file(line);
    QVERIFY(file.isValid());
    const QSettings &settings = file.settings();

    const QRegularExpression fallback(QStringLiteral("^Network/universes: .* offering all 256$"));
    if (fallsBack)
        QTest::ignoreMessage(QtDebugMsg, fallback);
    const QVector<quint16> read = ReceiveOptions::read(settings, QHostAddress()).records;
    QCOMPARE(read, offered);

    // Built for a 2.x address to count replies only; this engine never starts or sends.
    ArtNetEngine engine(QHostAddress(QStringLiteral("2.0.0.10")), 6454, 6, true);
    QCOMPARE(engine.setOutputUniverses(read), offered.size());
    QCOMPARE(engine.boundPollReplyCount(), replies);
}

void tst_ReceiveOptions::storedValuesDecideTheProtocols_data()
{
    // As a user writes them into the settings file.
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("enabled");
    addColumns<int>({"first", "artNetFirst"});
    QTest::addColumn<int>("merge"); // ArtNetMerge::Mode
    QTest::addColumn<QString>("fallback"); // the debug line's key; empty: none

    QTest::newRow("no setting") << QByteArray() << true << 1 << 0 << 0 << QString();
    QTest::newRow("off") << QByteArray("sacn=false") << false << 1 << 0 << 0 << QString();
    QTest::newRow("off as a number") << QByteArray("sacn=0") << false << 1 << 0 << 0 << QString();
    QTest::newRow("on, in capitals") << QByteArray("sacn=TRUE") << true << 1 << 0 << 0 << QString();
    QTest::newRow("neither") << QByteArray("sacn=maybe") << true << 1 << 0 << 0 << QStringLiteral("Network/sacn");
    QTest::newRow("empty") << QByteArray("sacn=") << true << 1 << 0 << 0 << QStringLiteral("Network/sacn");
    QTest::newRow("first 10") << QByteArray("sacnFirstUniverse=10") << true << 10 << 0 << 0 << QString();
    QTest::newRow("first, spaces around") << QByteArray("sacnFirstUniverse=\" 20 \"") << true << 20 << 0 << 0 << QString();
    QTest::newRow("last first universe") << QByteArray("sacnFirstUniverse=63744") << true << 63744 << 0 << 0 << QString();
    QTest::newRow("the 256th record beyond 63999") << QByteArray("sacnFirstUniverse=63745") << true << 1
                                                   << 0 << 0 << QStringLiteral("Network/sacnFirstUniverse");
    QTest::newRow("universe 0 is not sACN") << QByteArray("sacnFirstUniverse=0") << true << 1
                                            << 0 << 0 << QStringLiteral("Network/sacnFirstUniverse");
    QTest::newRow("not a number") << QByteArray("sacnFirstUniverse=one") << true << 1
                                  << 0 << 0 << QStringLiteral("Network/sacnFirstUniverse");
    const int latest = int(ArtNetMerge::Mode::Latest);
    QTest::newRow("Art-Net from Port-Address 256") << QByteArray("artnetFirstUniverse=256") << true << 1 << 256 << latest
                                                   << QString();
    QTest::newRow("Art-Net's last first Port-Address")
        << QByteArray("artnetFirstUniverse=32512") << true << 1 << 32512 << latest << QString();
    QTest::newRow("Art-Net beyond 15 bits") << QByteArray("artnetFirstUniverse=32513") << true << 1 << 0 << latest
                                            << QStringLiteral("Network/artnetFirstUniverse");
    QTest::newRow("Art-Net first not a number") << QByteArray("artnetFirstUniverse=0x100") << true << 1 << 0 << latest
                                                << QStringLiteral("Network/artnetFirstUniverse");
    QTest::newRow("merge htp") << QByteArray("artnetMerge=htp") << true << 1 << 0 << int(ArtNetMerge::Mode::Htp)
                               << QString();
    QTest::newRow("merge LTP, in capitals") << QByteArray("artnetMerge=LTP") << true << 1 << 0
                                            << int(ArtNetMerge::Mode::Ltp) << QString();
    QTest::newRow("merge of another kind") << QByteArray("artnetMerge=max") << true << 1 << 0 << latest
                                           << QStringLiteral("Network/artnetMerge");
    QTest::newRow("off with a first universe") << QByteArray("sacn=false\nsacnFirstUniverse=7") << false << 7
                                               << 0 << 0 << QString();
}

void tst_ReceiveOptions::storedValuesDecideTheProtocols()
{
    QFETCH(QByteArray, lines);
    QFETCH(bool, enabled);
    QFETCH(int, first);
    QFETCH(int, artNetFirst);
    QFETCH(int, merge);
    QFETCH(QString, fallback);

    const SettingsFile file(lines);
    QVERIFY(file.isValid());
    const QSettings &settings = file.settings();

    if (!fallback.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QLatin1Char('^') + fallback + QLatin1String(": ")));
    const ReceiveOptions options = ReceiveOptions::read(settings, QHostAddress());
    QCOMPARE(options.sacn, enabled);
    QCOMPARE(int(options.sacnFirst), first);
    QCOMPARE(int(options.artNetFirst), artNetFirst);
    QCOMPARE(int(options.artNetMerge), merge);
}

QTEST_GUILESS_MAIN(tst_ReceiveOptions)
#include "tst_receiveoptions.moc"
