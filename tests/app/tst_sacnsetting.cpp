#include "sacnsetting.h"
#include "settingsfile.h"

#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

class tst_SacnSetting : public QObject
{
    Q_OBJECT

private slots:
    void storedValuesDecideTheReceiver_data();
    void storedValuesDecideTheReceiver();
};

void tst_SacnSetting::storedValuesDecideTheReceiver_data()
{
    // As a user writes them into the settings file.
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("fallback"); // the debug line's key; empty: none

    QTest::newRow("no setting") << QByteArray() << true << 1 << QString();
    QTest::newRow("off") << QByteArray("sacn=false") << false << 1 << QString();
    QTest::newRow("off as a number") << QByteArray("sacn=0") << false << 1 << QString();
    QTest::newRow("on, in capitals") << QByteArray("sacn=TRUE") << true << 1 << QString();
    QTest::newRow("neither") << QByteArray("sacn=maybe") << true << 1 << QStringLiteral("Network/sacn");
    QTest::newRow("empty") << QByteArray("sacn=") << true << 1 << QStringLiteral("Network/sacn");
    QTest::newRow("first 10") << QByteArray("sacnFirstUniverse=10") << true << 10 << QString();
    QTest::newRow("first, spaces around") << QByteArray("sacnFirstUniverse=\" 20 \"") << true << 20 << QString();
    QTest::newRow("last first universe") << QByteArray("sacnFirstUniverse=63744") << true << 63744 << QString();
    QTest::newRow("the 256th record beyond 63999") << QByteArray("sacnFirstUniverse=63745") << true << 1
                                                   << QStringLiteral("Network/sacnFirstUniverse");
    QTest::newRow("universe 0 is not sACN") << QByteArray("sacnFirstUniverse=0") << true << 1
                                            << QStringLiteral("Network/sacnFirstUniverse");
    QTest::newRow("not a number") << QByteArray("sacnFirstUniverse=one") << true << 1
                                  << QStringLiteral("Network/sacnFirstUniverse");
    QTest::newRow("off with a first universe") << QByteArray("sacn=false\nsacnFirstUniverse=7") << false << 7
                                               << QString();
}

void tst_SacnSetting::storedValuesDecideTheReceiver()
{
    QFETCH(QByteArray, lines);
    QFETCH(bool, enabled);
    QFETCH(int, first);
    QFETCH(QString, fallback);

    const SettingsFile file(lines);
    QVERIFY(file.isValid());
    const QSettings &settings = file.settings();

    if (!fallback.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QLatin1Char('^') + fallback + QLatin1String(": ")));
    QCOMPARE(SacnSetting::enabled(settings), enabled);
    QCOMPARE(int(SacnSetting::firstUniverse(settings)), first);
}

QTEST_GUILESS_MAIN(tst_SacnSetting)
#include "tst_sacnsetting.moc"
