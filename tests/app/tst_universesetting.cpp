#include "artnetengine.h"
#include "portaddresses.h"
#include "settingsfile.h"
#include "universesetting.h"

#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

class tst_UniverseSetting : public QObject
{
    Q_OBJECT

private slots:
    void storedValueDecidesWhatIsOffered_data();
    void storedValueDecidesWhatIsOffered();
};

void tst_UniverseSetting::storedValueDecidesWhatIsOffered_data()
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

void tst_UniverseSetting::storedValueDecidesWhatIsOffered()
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
    const QVector<quint16> read = UniverseSetting::read(settings);
    QCOMPARE(read, offered);

    // Built for a 2.x address to count replies only; this engine never starts or sends.
    ArtNetEngine engine(QHostAddress(QStringLiteral("2.0.0.10")), 6454, 6, true);
    QCOMPARE(engine.setOutputUniverses(read), offered.size());
    QCOMPARE(engine.boundPollReplyCount(), replies);
}

QTEST_GUILESS_MAIN(tst_UniverseSetting)
#include "tst_universesetting.moc"
