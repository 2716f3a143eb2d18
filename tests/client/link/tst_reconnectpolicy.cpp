#include "client/link/reconnectpolicy.h"

#include <QtTest>

using namespace morvex;

using Outcome = ReconnectPolicy::Outcome;
Q_DECLARE_METATYPE(Outcome)

class TestReconnectPolicy : public QObject
{
    Q_OBJECT

private slots:
    void decide_data();
    void decide();
    void failingSeriesBacksOff();
    void healthyConnectionEndsBackOff();
    void refusalsKeepTheirTenSeconds();
};

void TestReconnectPolicy::decide_data()
{
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<qint64>("connectedMs");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("failure");

    QTest::newRow("drop after 10 s: at once") << Outcome::Dropped << qint64(10000) << 0 << 0 << false;
    QTest::newRow("drop after 10 s, streak: at once") << Outcome::Dropped << qint64(10000) << 4 << 0 << false;
    QTest::newRow("drop at 9999 ms is early") << Outcome::Dropped << qint64(9999) << 0 << 1000 << true;
    QTest::newRow("drop at once") << Outcome::Dropped << qint64(0) << 0 << 1000 << true;
    QTest::newRow("never connected") << Outcome::Dropped << qint64(-1) << 1 << 2000 << true;
    QTest::newRow("unreachable, first") << Outcome::Unreachable << qint64(-1) << 0 << 1000 << true;
    QTest::newRow("unreachable, second") << Outcome::Unreachable << qint64(-1) << 1 << 2000 << true;
    QTest::newRow("unreachable, third") << Outcome::Unreachable << qint64(-1) << 2 << 4000 << true;
    QTest::newRow("unreachable, fourth") << Outcome::Unreachable << qint64(-1) << 3 << 8000 << true;
    QTest::newRow("unreachable, fifth") << Outcome::Unreachable << qint64(-1) << 4 << 10000 << true;
    QTest::newRow("unreachable, hundredth") << Outcome::Unreachable << qint64(-1) << 99 << 10000 << true;
    QTest::newRow("unreachable, connected long ago")
        << Outcome::Unreachable << qint64(60000) << 0 << 1000 << true;
    QTest::newRow("wrong password") << Outcome::WrongPassword << qint64(20) << 0 << 10000 << true;
    QTest::newRow("wrong password, streak") << Outcome::WrongPassword << qint64(20) << 7 << 10000 << true;
    QTest::newRow("second client") << Outcome::SecondClient << qint64(20) << 0 << 10000 << true;
}

void TestReconnectPolicy::decide()
{
    QFETCH(Outcome, outcome);
    QFETCH(qint64, connectedMs);
    QFETCH(int, failures);
    QFETCH(int, delayMs);
    QFETCH(bool, failure);
    const ReconnectPolicy::Decision d = ReconnectPolicy::decide(outcome, connectedMs, failures);
    QCOMPARE(d.delayMs, delayMs);
    QCOMPARE(d.failure, failure);
}

void TestReconnectPolicy::failingSeriesBacksOff()
{
    // A box that drops us right after log-in, over and over.
    ReconnectPolicy p;
    QList<int> delays;
    for (int i = 0; i < 8; ++i)
        delays << p.next(Outcome::Dropped, 100).delayMs;
    QCOMPARE(delays, (QList<int> { 1000, 2000, 4000, 8000, 10000, 10000, 10000, 10000 }));
    // At most 12 attempts in any minute once the series runs.
    QVERIFY(60000 / delays.last() <= 12);
    // A connection that held 10 s but not 30 s: at once, the streak stays.
    QCOMPARE(p.next(Outcome::Dropped, 15000).delayMs, 0);
    QCOMPARE(p.next(Outcome::Unreachable, -1).delayMs, 10000);
}

void TestReconnectPolicy::healthyConnectionEndsBackOff()
{
    ReconnectPolicy p;
    for (int i = 0; i < 5; ++i)
        p.next(Outcome::Unreachable, -1);
    QCOMPARE(p.failures(), 5);
    // Dropped just short of 30 s: at once, but the streak stays.
    QCOMPARE(p.next(Outcome::Dropped, 29999).delayMs, 0);
    QCOMPARE(p.failures(), 5);
    // Dropped after 30 s: at once, and the next failure starts the series afresh.
    QCOMPARE(p.next(Outcome::Dropped, 30000).delayMs, 0);
    QCOMPARE(p.failures(), 0);
    QCOMPARE(p.next(Outcome::Unreachable, -1).delayMs, 1000);
    // The controller's 30 s timer resets it while the link is still up.
    p.next(Outcome::Unreachable, -1);
    p.reset();
    QCOMPARE(p.next(Outcome::Dropped, 500).delayMs, 1000);
}

void TestReconnectPolicy::refusalsKeepTheirTenSeconds()
{
    ReconnectPolicy p;
    QCOMPARE(p.next(Outcome::WrongPassword, 10).delayMs, 10000);
    QCOMPARE(p.next(Outcome::WrongPassword, 10).delayMs, 10000);
    // Refusals are failures: a box that then drops us early backs off further.
    QCOMPARE(p.next(Outcome::Dropped, 10).delayMs, 4000);
}

QTEST_APPLESS_MAIN(TestReconnectPolicy)
#include "tst_reconnectpolicy.moc"
