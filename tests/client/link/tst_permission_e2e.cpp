#include "client/link/authorization.h"
#include "client/link/clientrif.h"
#include "client/link/errorspacket.h"
#include "client/link/packetmngr.h"
#include "client/link/permission.h"
#include "tests/support/simprocess.h"

#include <QSignalSpy>
#include <QtTest>

using namespace morvex;

// Permission frames from the simulated box: by its slot table at log-in and on command.
class TestPermissionE2e : public QObject
{
    Q_OBJECT

private slots:
    void slotPasswordGetsItsPermissions_data();
    void slotPasswordGetsItsPermissions();
    void framesOnCommandAndShortPayload();
};

namespace {
constexpr int kWait = 15000;

struct Client
{
    explicit Client(const QString &password)
    {
        auth.setPassword(password);
        mngr.registerPacket(&auth);
        mngr.registerPacket(&errors);
        mngr.registerPacket(&perm);
        rif.setPacketManager(&mngr);
    }
    Authorization auth;
    ErrorsPacket errors;
    Permission perm;
    PacketMngr mngr;
    ClientRIF rif;
};
} // namespace

void TestPermissionE2e::slotPasswordGetsItsPermissions_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("flags");
    QTest::addColumn<uint>("work");
    QTest::addColumn<uint>("pause");
    QTest::newRow("restricted slot") << "op:1" << 0x03 << 1u << 2u;
    QTest::newRow("full slot") << "chief" << 0x0F << 0u << 0u;
}

void TestPermissionE2e::slotPasswordGetsItsPermissions()
{
    QFETCH(QString, password);
    QFETCH(int, flags);
    QFETCH(uint, work);
    QFETCH(uint, pause);
    SimProcess sim;
    QVERIFY2(sim.start({ "--perm-slot", "op:1:0x03:1:2", "--perm-slot", "chief:15:0:0" }),
        qPrintable(sim.lastError()));
    Client c(password);
    QSignalSpy changed(&c.perm, &Permission::changedState);
    c.rif.setServer(QStringLiteral("127.0.0.1"), sim.tcpPort());
    c.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, kWait);
    QCOMPARE(int(c.perm.flags()), flags);
    QCOMPARE(c.perm.workTime(), quint32(work));
    QCOMPARE(c.perm.pauseTime(), quint32(pause));
}

void TestPermissionE2e::framesOnCommandAndShortPayload()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Client c(QStringLiteral("brelko"));
    QSignalSpy changed(&c.perm, &Permission::changedState);
    QSignalSpy connected(&c.rif, &ClientRIF::connected);
    c.rif.setServer(QStringLiteral("127.0.0.1"), sim.tcpPort());
    c.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("loggedin")), 1, kWait);
    QCOMPARE(changed.count(), 0); // the main password has no slot

    QVERIFY(sim.run(QStringLiteral("perm 0x07 90 15")));
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, kWait);
    QCOMPARE(int(c.perm.flags()), 0x07);
    QCOMPARE(c.perm.workTime(), 90u);

    QTest::ignoreMessage(
        QtWarningMsg, "WARNING!!! Non standart format in virtual void Permission::addData(const char*, int)");
    QVERIFY(sim.run(QStringLiteral("perm raw 0f00000000000000"))); // 8 bytes: one short
    // A valid frame after it: by then the short one was read, and changed nothing.
    QVERIFY(sim.run(QStringLiteral("perm 0x01 5 6")));
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, kWait);
    QCOMPARE(int(c.perm.flags()), 0x01);
    QCOMPARE(c.perm.pauseTime(), 6u);
}

QTEST_GUILESS_MAIN(TestPermissionE2e)
#include "tst_permission_e2e.moc"
