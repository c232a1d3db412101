#include "unreachedmodel.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(NodeState::Unreached)

// The advice names the setting to change and the value that would take the
// data in, worked out from the running program's own offsets.
class tst_UnreachedModel : public QObject
{
    Q_OBJECT

private slots:
    void adviceNamesTheSettingAndValue_data();
    void adviceNamesTheSettingAndValue();
};

void tst_UnreachedModel::adviceNamesTheSettingAndValue_data()
{
    QTest::addColumn<NodeState::Unreached>("reason");
    QTest::addColumn<int>("universe");
    QTest::addColumn<int>("artNetFirst");
    QTest::addColumn<int>("sacnFirst");
    QTest::addColumn<QString>("advice"); // a part of it

    const auto portAddress = NodeState::Unreached::PortAddressUnmapped;
    const auto sacn = NodeState::Unreached::SacnUniverseUnmapped;
    QTest::newRow("Port-Address on Net 1") << portAddress << 300 << 0 << 1
                                           << "Set Network/artnetFirstUniverse=256 to take it as record 44";
    QTest::newRow("Port-Address below the records") << portAddress << 5 << 256 << 1
                                                    << "Port-Addresses 256-511 (Network/artnetFirstUniverse=256). "
                                                       "Set Network/artnetFirstUniverse=0 to take it as record 5";
    QTest::newRow("sACN beyond the records") << sacn << 400 << 0 << 1
                                             << "Set Network/sacnFirstUniverse=257 to take it as record 143";
    QTest::newRow("sACN's last universe") << sacn << 63999 << 0 << 1
                                          << "Set Network/sacnFirstUniverse=63744 to take it as record 255";
    QTest::newRow("sACN of a record not listed") << sacn << 20 << 0 << 11
                                                 << "feeds record 9, which Network/universes does not list";
}

void tst_UnreachedModel::adviceNamesTheSettingAndValue()
{
    QFETCH(NodeState::Unreached, reason);
    QFETCH(int, universe);
    QFETCH(int, artNetFirst);
    QFETCH(int, sacnFirst);
    QFETCH(QString, advice);

    auto snapshot = std::make_unique<NodeSnapshot>();
    snapshot->program.artNetFirst = std::uint16_t(artNetFirst);
    snapshot->program.sacnFirst = std::uint16_t(sacnFirst);
    for (RecordState &record : snapshot->records)
        record.sacnListed = 1;
    snapshot->records[9].sacnListed = 0;
    snapshot->unreached.count = 1;
    UnreachedEntry &entry = snapshot->unreached.entries[0];
    entry.reason = std::uint8_t(reason);
    const bool sacn = reason == NodeState::Unreached::SacnUniverseUnmapped;
    entry.protocol = std::uint8_t(sacn ? NodeState::SourceProtocol::Sacn : NodeState::SourceProtocol::ArtNet);
    entry.universe = std::uint16_t(universe);
    entry.record = -1;

    UnreachedModel model;
    model.show(snapshot.get());
    QCOMPARE(model.rowCount(), 1);
    const QString shown = model.data(model.index(0, UnreachedModel::Advice)).toString();
    if (!shown.contains(advice))
        QFAIL(qPrintable(shown));
}

QTEST_GUILESS_MAIN(tst_UnreachedModel)
#include "tst_unreachedmodel.moc"
