// The mapper is the only writer of the shared universe data area. These tests
// watch the area the way the driver library does, through a second handle on
// the real section, and check every byte of it after each packet, so that a
// stray write anywhere shows up.

#include "addcolumns.h"
#include "artdmxroute.h"
#include "modalanswerer.h"
#include "sharedarea.h"
#include "universedataarea.h"
#include "universemapper.h"
#include "wirebytes.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QtTest>

#include <cstddef>
#include <cstring>
#include <memory>

namespace {

constexpr quint16 EnginePort = 46100;
// The host reads the area by these offsets; the header pins their values.
constexpr int DataOffset = offsetof(UniverseRecord, data);
constexpr int CountOffset = offsetof(UniverseRecord, packetCount);

// Channel data fill, fill + 1, ...; the byte order of universe and length
// on the wire is proven by the packet records' own test.
QByteArray artDmx(quint16 universe, quint16 length, quint8 fill)
{
    return datagram(ArtNet::artDmx(universe, length, fill, 1));
}

const ArtDmx &asRecord(const QByteArray &datagram)
{
    return *reinterpret_cast<const ArtDmx *>(datagram.constData());
}

void process(UniverseMapper &mapper, const QByteArray &datagram)
{
    mapper.processArtDmx(asRecord(datagram), QHostAddress(QStringLiteral("127.0.0.1")), EnginePort);
}

// `count` levels fill, fill + 1, ...
QByteArray ramp(int count, quint8 fill)
{
    QByteArray levels(count, '\0');
    for (int i = 0; i < count; ++i)
        levels[i] = char(fill + i);
    return levels;
}

// Takes every ArtDmx the mapper hands on and writes one level of its own.
struct CountingRoute : ArtDmxRoute
{
    explicit CountingRoute(UniverseMapper &mapper) : mapper(mapper) {}
    void routeArtDmx(const ArtDmx &packet, quint32 from, quint16 fromPort) override
    {
        universe = packet.universe;
        sender = from;
        port = fromPort;
        mapper.write(200, reinterpret_cast<const quint8 *>("\x77"), 1);
    }

    UniverseMapper &mapper;
    int universe = -1;
    quint32 sender = 0;
    quint16 port = 0;
};

// A handle on the area of our own, as the driver library would hold it.
class AreaWatcher
{
public:
    bool isValid() const { return area.isValid(); }
    QByteArray snapshot() const { return QByteArray(bytes(), int(UniverseData::AreaSize)); }
    void fill(char value) { std::memset(bytes(), value, int(UniverseData::AreaSize)); }
    quint32 word(int offset) const
    {
        quint32 value;
        std::memcpy(&value, bytes() + offset, sizeof value);
        return value;
    }
    void setWord(int offset, quint32 value) { std::memcpy(bytes() + offset, &value, sizeof value); }

private:
    char *bytes() const { return reinterpret_cast<char *>(area.bytes()); }

    SharedArea area{SharedArea::Mode::OpenWrite};
};

void putWord(QByteArray &image, int offset, quint32 value)
{
    std::memcpy(image.data() + offset, &value, sizeof value);
}

// The mapper reports each failure in a critical box of its own, with no parent.
void verifyErrorBoxes(const QList<SeenBox> &boxes, const QStringList &texts)
{
    QCOMPARE(boxes.size(), texts.size());
    for (int i = 0; i < boxes.size(); ++i) {
        QCOMPARE(boxes[i].title, QStringLiteral("error"));
        QCOMPARE(boxes[i].text, texts[i]);
        QCOMPARE(boxes[i].icon, QMessageBox::Critical);
        QCOMPARE(boxes[i].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(!boxes[i].hasParent);
    }
}

quint32 wordAt(const QByteArray &image, int offset)
{
    quint32 value;
    std::memcpy(&value, image.constData() + offset, sizeof value);
    return value;
}

} // namespace

class tst_UniverseMapper : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void slotCanBeConnectedByItsSignature();
    void packetFillsItsRecordAndNothingElse_data();
    void packetFillsItsRecordAndNothingElse();
    void shorterPacketKeepsTheLongerOnesTail();
    void everyPacketCountsWhoeverSentIt();
    void hostilePacketsStayInsideTheArea_data();
    void hostilePacketsStayInsideTheArea();
    void writeFillsItsRecordAndNothingElse_data();
    void writeFillsItsRecordAndNothingElse();
    void routeDecidesWhereAnArtDmxLands();
    void existingSmallerSectionIsNeverWritten();
    void failedCreationReportsBothErrors();
};

void tst_UniverseMapper::init()
{
    // Nothing else holds the area between tests, so each mapper starts on zeros.
    QVERIFY(!SharedArea::exists());
}

void tst_UniverseMapper::slotCanBeConnectedByItsSignature()
{
    // The program wires the engine to the mapper by these strings alone.
    const QMetaObject &meta = UniverseMapper::staticMetaObject;
    QCOMPARE(meta.className(), "UniverseMapper");
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 1);
    const int index = meta.indexOfSlot("processArtDmx(ArtDmx,QHostAddress,quint16)");
    QVERIFY(index >= meta.methodOffset());
    QCOMPARE(meta.method(index).access(), QMetaMethod::Public);
    QCOMPARE(meta.method(index).parameterNames(),
             QList<QByteArray>({"packet", "peer", "port"}));
}

void tst_UniverseMapper::packetFillsItsRecordAndNothingElse_data()
{
    addColumns<int>({"universe", "length", "recordOffset"});

    QTest::newRow("universe 0, full") << 0 << 512 << 0;
    QTest::newRow("universe 3, full") << 3 << 512 << 1572;
    QTest::newRow("universe 3, empty") << 3 << 0 << 1572;
    QTest::newRow("universe 17, one channel") << 17 << 1 << 17 * 524;
    QTest::newRow("universe 255, the very end") << 255 << 512 << 133620;
}

void tst_UniverseMapper::packetFillsItsRecordAndNothingElse()
{
    QFETCH(int, universe);
    QFETCH(int, length);
    QFETCH(int, recordOffset);

    UniverseMapper mapper(nullptr);
    AreaWatcher area;
    QVERIFY(area.isValid());
    const QByteArray before = area.snapshot();
    QCOMPARE(before, QByteArray(int(UniverseData::AreaSize), '\0'));

    const QByteArray datagram = artDmx(quint16(universe), quint16(length), 0x40);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("ArtDmx Received: %1 : %2\n").arg(universe).arg(length)));
    process(mapper, datagram);

    QByteArray expected = before;
    expected.replace(recordOffset + DataOffset, length, datagram.mid(18, length));
    putWord(expected, recordOffset, quint32(length));
    putWord(expected, recordOffset + CountOffset, 1);
    QCOMPARE(area.snapshot(), expected);
}

void tst_UniverseMapper::shorterPacketKeepsTheLongerOnesTail()
{
    UniverseMapper mapper(nullptr);
    AreaWatcher area;
    QVERIFY(area.isValid());

    const QByteArray full = artDmx(9, 512, 0x10);
    const QByteArray shorter = artDmx(9, 24, 0xa0);
    process(mapper, full);
    process(mapper, shorter);

    const QByteArray image = area.snapshot();
    const int record = 9 * int(UniverseData::RecordSize);
    QCOMPARE(wordAt(image, record), quint32(24));
    QCOMPARE(image.mid(record + DataOffset, 24), shorter.mid(18, 24));
    QCOMPARE(image.mid(record + DataOffset + 24, 488), full.mid(18 + 24, 488));
    QCOMPARE(wordAt(image, record + CountOffset), quint32(2));
}

void tst_UniverseMapper::everyPacketCountsWhoeverSentIt()
{
    UniverseMapper mapper(nullptr);
    AreaWatcher area;
    QVERIFY(area.isValid());
    const int record = 4 * int(UniverseData::RecordSize);
    area.setWord(record + CountOffset, 0xfffffffeu);

    const QByteArray datagram = artDmx(4, 512, 0);
    mapper.processArtDmx(asRecord(datagram), QHostAddress(QStringLiteral("127.0.0.1")), 6454);
    QCOMPARE(area.word(record + CountOffset), 0xffffffffu);
    mapper.processArtDmx(asRecord(datagram), QHostAddress(QStringLiteral("127.0.0.2")), 1234);
    QCOMPARE(area.word(record + CountOffset), 0u); // wraps
    QCOMPARE(area.word(record), 512u);
}

void tst_UniverseMapper::hostilePacketsStayInsideTheArea_data()
{
    addColumns<int>({"universe", "length"});
    QTest::addColumn<bool>("written"); // otherwise dropped without a trace

    QTest::newRow("universe 256 (Net 1)") << 256 << 10 << false;
    QTest::newRow("universe 65535") << 65535 << 512 << false;
    QTest::newRow("universe 256, length 65535") << 256 << 65535 << false;
    QTest::newRow("length 513") << 5 << 513 << true;
    QTest::newRow("length 65535") << 5 << 65535 << true;
    QTest::newRow("length 513 in the last record") << 255 << 513 << true;
}

void tst_UniverseMapper::hostilePacketsStayInsideTheArea()
{
    QFETCH(int, universe);
    QFETCH(int, length);
    QFETCH(bool, written);

    UniverseMapper mapper(nullptr);
    AreaWatcher area;
    QVERIFY(area.isValid());
    area.fill('\x5a');
    const QByteArray before = area.snapshot();

    const QByteArray datagram = artDmx(quint16(universe), quint16(length), 0x80);
    process(mapper, datagram);

    QByteArray expected = before;
    if (written) {
        // Cut to the channels a record has, and that many announced.
        const int record = universe * int(UniverseData::RecordSize);
        expected.replace(record + DataOffset, 512, datagram.mid(18, 512));
        putWord(expected, record, 512);
        putWord(expected, record + CountOffset, 0x5a5a5a5au + 1);
    }
    QCOMPARE(area.snapshot(), expected);
}

void tst_UniverseMapper::writeFillsItsRecordAndNothingElse_data()
{
    addColumns<int>({"record", "length"});
    QTest::addColumn<int>("stored"); // -1: nothing written

    QTest::newRow("record 0, full") << 0 << 512 << 512;
    QTest::newRow("record 3, one level") << 3 << 1 << 1;
    QTest::newRow("record 255, the very end") << 255 << 512 << 512;
    QTest::newRow("record 7, no levels") << 7 << 0 << 0;
    QTest::newRow("more levels than a record holds") << 9 << 600 << 512;
    QTest::newRow("negative length") << 9 << -1 << 0;
    QTest::newRow("record 256") << 256 << 512 << -1;
    QTest::newRow("record -1") << -1 << 512 << -1;
}

void tst_UniverseMapper::writeFillsItsRecordAndNothingElse()
{
    QFETCH(int, record);
    QFETCH(int, length);
    QFETCH(int, stored);

    UniverseMapper mapper(nullptr);
    AreaWatcher area;
    QVERIFY(area.isValid());
    area.fill('\x5a');
    const QByteArray before = area.snapshot();

    const QByteArray levels = ramp(600, 0x21);
    mapper.write(record, reinterpret_cast<const quint8 *>(levels.constData()), length);

    QByteArray expected = before;
    if (stored >= 0) {
        const int offset = record * int(UniverseData::RecordSize);
        expected.replace(offset + DataOffset, stored, levels.left(stored));
        putWord(expected, offset, quint32(stored));
        putWord(expected, offset + CountOffset, 0x5a5a5a5au + 1);
    }
    QCOMPARE(area.snapshot(), expected);
}

void tst_UniverseMapper::routeDecidesWhereAnArtDmxLands()
{
    UniverseMapper mapper(nullptr);
    CountingRoute route(mapper);
    mapper.setRoute(&route);
    AreaWatcher area;
    QVERIFY(area.isValid());

    // The debug line is written all the same; the packet's own record is not.
    QTest::ignoreMessage(QtDebugMsg, "ArtDmx Received: 5 : 512\n");
    mapper.processArtDmx(asRecord(artDmx(5, 512, 0x40)), QHostAddress(QStringLiteral("127.0.0.3")), 6455);
    QCOMPARE(route.universe, 5);
    QCOMPARE(route.sender, 0x7F000003u);
    QCOMPARE(route.port, quint16(6455));
    QCOMPARE(area.word(5 * int(UniverseData::RecordSize) + CountOffset), 0u);
    QCOMPARE(area.word(200 * int(UniverseData::RecordSize) + CountOffset), 1u);
}

void tst_UniverseMapper::existingSmallerSectionIsNeverWritten()
{
    // Someone else made a section of this name too small for the area.
    auto other = std::make_unique<SharedArea>(SharedArea::Mode::Create, UniverseData::SectionName, 4096);
    QVERIFY(other->isValid());
    std::memset(other->bytes(), 0x33, 4096);

    QList<SeenBox> boxes;
    ModalAnswerer closer(&boxes);
    UniverseMapper mapper(nullptr);
    verifyErrorBoxes(boxes, {QStringLiteral("Error mapping data link")});

    process(mapper, artDmx(0, 512, 1));
    process(mapper, artDmx(7, 512, 1));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(other->bytes()), 4096), QByteArray(4096, '\x33'));

    // The mapper still holds its handle: the section lives on after ours goes.
    other.reset();
    QVERIFY(SharedArea::exists());
}

void tst_UniverseMapper::failedCreationReportsBothErrors()
{
#ifdef Q_OS_LINUX
    // A directory where the shared memory object would be makes its creation fail,
    // even for root.
    const QString blocker = QStringLiteral("/dev/shm/") + QString::fromLatin1(UniverseData::SectionName);
    if (!QDir().mkdir(blocker))
        QSKIP("cannot block the section name here");
    struct RemoveBlocker
    {
        QString path;
        ~RemoveBlocker() { QDir().rmdir(path); }
    } removeBlocker{blocker};

    QList<SeenBox> boxes;
    ModalAnswerer closer(&boxes);
    UniverseMapper mapper(nullptr);
    verifyErrorBoxes(boxes, {QStringLiteral("Error creating data link"), QStringLiteral("Error mapping data link")});

    // Unlinked, the mapper takes packets without writing anywhere.
    process(mapper, artDmx(0, 512, 1));
#else
    QSKIP("the name can only be blocked on Linux");
#endif
}

QTEST_MAIN(tst_UniverseMapper)
#include "tst_universemapper.moc"
