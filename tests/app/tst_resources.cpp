#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QResource>
#include <QTest>
#include <QtEndian>

class tst_resources : public QObject
{
    Q_OBJECT

private slots:
    void imagesHaveTheirSizeAndAlphaAndAreStoredAsTheyAre_data();
    void imagesHaveTheirSizeAndAlphaAndAreStoredAsTheyAre();
    void nothingElseIsCompiledIn();
    void fileIconHoldsTwo32PixelImagesOf16And256Colours();
};

void tst_resources::imagesHaveTheirSizeAndAlphaAndAreStoredAsTheyAre_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("window and tray icon") << QStringLiteral(":/dorvantis/icon.png") << QSize(20, 20);
    QTest::newRow("About picture") << QStringLiteral(":/dorvantis/about.png") << QSize(120, 100);
    QTest::newRow("Quit icon") << QStringLiteral(":/action_icon/quit.png") << QSize(22, 22);
}

void tst_resources::imagesHaveTheirSizeAndAlphaAndAreStoredAsTheyAre()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    const QImage image(path);
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    // A clear corner shows the alpha is really used.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);

    const QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
}

void tst_resources::nothingElseIsCompiledIn()
{
    QStringList files;
    for (const QString &root : {QStringLiteral(":/dorvantis"), QStringLiteral(":/action_icon")}) {
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    files.sort();
    QCOMPARE(files, QStringList({":/action_icon/quit.png", ":/dorvantis/about.png", ":/dorvantis/icon.png"}));
    QVERIFY(QImage(QStringLiteral(":/dorvantis/missing.png")).isNull());
}

void tst_resources::fileIconHoldsTwo32PixelImagesOf16And256Colours()
{
    QFile file(QStringLiteral(DORVANTIS_FILE_ICON));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    const auto *bytes = reinterpret_cast<const uchar *>(ico.constData());

    // Icon directory: reserved 0, type 1 (icon), image count.
    QVERIFY(ico.size() >= 6);
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 0), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 4), quint16(2));

    QList<int> colourCounts;
    for (int i = 0; i < 2; ++i) {
        // Directory entry: width, height, colour count, reserved, planes,
        // bits per pixel, image size, image offset.
        const uchar *entry = bytes + 6 + 16 * i;
        QCOMPARE(int(entry[0]), 32);
        QCOMPARE(int(entry[1]), 32);
        const quint32 size = qFromLittleEndian<quint32>(entry + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        QVERIFY(quint64(offset) + size <= quint64(ico.size()));

        // The image itself starts with a bitmap info header whose height
        // covers the colour image and the transparency mask.
        const uchar *header = bytes + offset;
        QCOMPARE(qFromLittleEndian<quint32>(header + 0), quint32(40));
        QCOMPARE(qFromLittleEndian<qint32>(header + 4), 32);
        QCOMPARE(qFromLittleEndian<qint32>(header + 8), 64);
        const int bits = qFromLittleEndian<quint16>(header + 14);
        QCOMPARE(qFromLittleEndian<quint16>(entry + 6), quint16(bits));
        const quint32 rowBytes = (32 * bits + 31) / 32 * 4;
        const quint32 maskBytes = 4 * 32;
        QCOMPARE(size, 40 + (1u << bits) * 4 + rowBytes * 32 + maskBytes);
        colourCounts << (1 << bits);
    }
    std::sort(colourCounts.begin(), colourCounts.end());
    QCOMPARE(colourCounts, QList<int>({16, 256}));
}

QTEST_GUILESS_MAIN(tst_resources)
#include "tst_resources.moc"
