// Joins on loopback only; what the groups deliver is checked end to end by
// tst_sacnreceiver, over a veth pair.

#include "igmpgroups.h"
#include "loopbackhost.h"
#include "multicastmembership.h"

#include <QUdpSocket>
#include <QtTest>

#include <cerrno>

namespace {

constexpr quint32 Loopback = loopbackHost(1);

QList<quint32> groups(int count)
{
    QList<quint32> list;
    for (int universe = 1; universe <= count; ++universe)
        list << (0xEFFF0000u | quint32(universe));
    return list;
}

} // namespace

class tst_MulticastMembership : public QObject
{
    Q_OBJECT

private slots:
    void joinsPastThePerSocketLimit_data();
    void joinsPastThePerSocketLimit();
    void groupTheSystemRefusesLeavesNoSocket();
};

void tst_MulticastMembership::joinsPastThePerSocketLimit_data()
{
    QTest::addColumn<int>("count");

    const int limit = IgmpGroups::perSocketLimit();
    QVERIFY2(limit > 0, "net.ipv4.igmp_max_memberships cannot be read");
    QTest::newRow("one") << 1;
    QTest::newRow("the limit") << limit;
    QTest::newRow("one past the limit") << limit + 1;
    QTest::newRow("256") << 256;
}

void tst_MulticastMembership::joinsPastThePerSocketLimit()
{
    QFETCH(int, count);
    const int limit = IgmpGroups::perSocketLimit();
    QUdpSocket receiving;
    QVERIFY(receiving.bind(QHostAddress(QHostAddress::AnyIPv4), 0));
    const auto socket = MulticastMembership::Socket(receiving.socketDescriptor());
    QVERIFY(MulticastMembership::receiveAllGroups(socket));
    {
        MulticastMembership membership(socket, Loopback);
        for (int round = 0; round < 2; ++round) {
            for (quint32 group : groups(count))
                QVERIFY2(membership.join(group), qPrintable(qt_error_string(membership.error())));
            QCOMPARE(membership.groupCount(), count);
            QCOMPARE(membership.holderCount(), (count - 1) / limit);
            // Each group held once, by one socket.
            QCOMPARE(IgmpGroups::on(QStringLiteral("lo")), groups(count));
            QCOMPARE(IgmpGroups::users(QStringLiteral("lo")), QVector<int>(count, 1));
            if (round == 0)
                membership.leaveAll();
            QCOMPARE(IgmpGroups::on(QStringLiteral("lo")).size(), round == 0 ? 0 : count);
        }
    }
    QVERIFY(IgmpGroups::on(QStringLiteral("lo")).isEmpty());
    QCOMPARE(IgmpGroups::perSocketLimit(), limit);
}

void tst_MulticastMembership::groupTheSystemRefusesLeavesNoSocket()
{
    QUdpSocket receiving;
    QVERIFY(receiving.bind(QHostAddress(QHostAddress::AnyIPv4), 0));
    // An address on no interface of this namespace.
    MulticastMembership membership(MulticastMembership::Socket(receiving.socketDescriptor()), 0xCB007109);
    QVERIFY(!membership.join(0xEFFF0001));
    QCOMPARE(membership.error(), ENODEV);
    QCOMPARE(membership.groupCount(), 0);
    QCOMPARE(membership.holderCount(), 0);
}

QTEST_GUILESS_MAIN(tst_MulticastMembership)
#include "tst_multicastmembership.moc"
