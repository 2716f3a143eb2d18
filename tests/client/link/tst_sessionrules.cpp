#include "client/link/permission.h"
#include "client/link/reconnectpolicy.h"

#include <QtTest>

using namespace morvex;

using Outcome = ReconnectPolicy::Outcome;
Q_DECLARE_METATYPE(Outcome)

// The session's decisions as plain functions: what a permission frame grants
// and how an ended connection counts for the next attempt.
class TstSessionRules : public QObject
{
    Q_OBJECT

private slots:
    void grant_data();
    void grant();
    void ending_data();
    void ending();
};

void TstSessionRules::grant_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("access");
    QTest::addColumn<bool>("ptt");
    QTest::addColumn<bool>("cat");
    QTest::addColumn<bool>("txLevel");
    QTest::addColumn<bool>("countdown");

    QTest::newRow("nothing") << 0x00 << false << false << false << false << false;
    QTest::newRow("controls without access") << 0x0E << false << false << false << false << false;
    QTest::newRow("access only") << 0x01 << true << false << false << false << true;
    QTest::newRow("CAT") << 0x03 << true << false << true << false << true;
    QTest::newRow("PTT") << 0x05 << true << true << false << false << true;
    QTest::newRow("TX level") << 0x09 << true << false << false << true << true;
    QTest::newRow("PTT and CAT") << 0x07 << true << true << true << false << true;
    QTest::newRow("all three") << 0x0F << true << true << true << true << false;
    QTest::newRow("unknown high bits ignored") << 0xF5 << true << true << false << false << true;
    QTest::newRow("all bits") << 0xFF << true << true << true << true << false;
}

void TstSessionRules::grant()
{
    QFETCH(int, flags);
    Permission::Grant want;
    QFETCH(bool, access);
    QFETCH(bool, ptt);
    QFETCH(bool, cat);
    QFETCH(bool, txLevel);
    QFETCH(bool, countdown);
    want.access = access;
    want.ptt = ptt;
    want.cat = cat;
    want.txLevel = txLevel;
    want.countdown = countdown;
    const Permission::Grant got = Permission::grant(quint8(flags));
    QCOMPARE(got.access, want.access);
    QCOMPARE(got.ptt, want.ptt);
    QCOMPARE(got.cat, want.cat);
    QCOMPARE(got.txLevel, want.txLevel);
    QCOMPARE(got.countdown, want.countdown);
    QVERIFY(got == want);
}

void TstSessionRules::ending_data()
{
    QTest::addColumn<ErrorsPacket::ConnectionError>("reason");
    QTest::addColumn<QAbstractSocket::SocketError>("error");
    QTest::addColumn<bool>("pause");
    QTest::addColumn<qint64>("connectedMs");
    QTest::addColumn<bool>("waitForPause");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<bool>("stopCountdown");

    const auto none = ErrorsPacket::NoError;
    const auto closed = QAbstractSocket::RemoteHostClosedError;
    QTest::newRow("drop of a working link")
        << none << closed << false << qint64(45000) << false << Outcome::Dropped << true;
    QTest::newRow("refused, never connected") << none << QAbstractSocket::ConnectionRefusedError << false
                                              << qint64(-1) << false << Outcome::Unreachable << true;
    QTest::newRow("host not found") << none << QAbstractSocket::HostNotFoundError << false << qint64(-1)
                                    << false << Outcome::Unreachable << false;
    QTest::newRow("network down") << none << QAbstractSocket::NetworkError << false << qint64(5000) << false
                                  << Outcome::Unreachable << false;
    QTest::newRow("wrong password") << ErrorsPacket::WrongPassword << closed << false << qint64(20) << false
                                    << Outcome::WrongPassword << false;
    QTest::newRow("second client") << ErrorsPacket::MultipleConnection << closed << false << qint64(20)
                                   << false << Outcome::SecondClient << false;
    // The box's word counts even while a pause runs.
    QTest::newRow("wrong password in a pause") << ErrorsPacket::WrongPassword << closed << true << qint64(20)
                                               << false << Outcome::WrongPassword << false;
    QTest::newRow("pause running") << none << closed << true << qint64(60000) << true << Outcome::Dropped
                                   << false;
    QTest::newRow("host gone beats the pause") << none << QAbstractSocket::HostNotFoundError << true
                                               << qint64(-1) << false << Outcome::Unreachable << false;
}

void TstSessionRules::ending()
{
    QFETCH(ErrorsPacket::ConnectionError, reason);
    QFETCH(QAbstractSocket::SocketError, error);
    QFETCH(bool, pause);
    QFETCH(qint64, connectedMs);
    QFETCH(bool, waitForPause);
    QFETCH(Outcome, outcome);
    QFETCH(bool, stopCountdown);
    const ReconnectPolicy::Ending e = ReconnectPolicy::ending(reason, error, pause, connectedMs);
    QCOMPARE(e.waitForPause, waitForPause);
    if (!waitForPause)
        QCOMPARE(e.outcome, outcome);
    QCOMPARE(e.stopCountdown, stopCountdown);
}

QTEST_APPLESS_MAIN(TstSessionRules)
#include "tst_sessionrules.moc"
