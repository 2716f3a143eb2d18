#include "sim/simframe.h"
#include "tests/support/simprocess.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QtTest>

// The simulator's status line as tests read it, against a client on a raw
// socket.
class TestSimStatus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pttFramesCountEveryBatchOfALoggedInClient();
};

namespace {
constexpr int kWait = 15000;
}

void TestSimStatus::initTestCase()
{
    QVERIFY(QFile::exists(SimProcess::program()));
}

void TestSimStatus::pttFramesCountEveryBatchOfALoggedInClient()
{
    SimProcess sim;
    QVERIFY2(sim.start({ "--idle-timeout", "0" }), qPrintable(sim.lastError()));
    QCOMPARE(sim.statusValue("pttframes"), 0);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, sim.tcpPort());
    QVERIFY(client.waitForConnected(5000));
    // Before the log-in a PTT frame is ignored, and not counted.
    client.write(SimFrame::build(SimFrame::Ptt, 1));
    QByteArray login("brelko");
    login.append('\0');
    client.write(SimFrame::build(SimFrame::Login, 0, login));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 1, kWait);
    QCOMPARE(sim.statusValue("pttframes"), 0);

    // Every one counts, changed state or not; other frames do not.
    client.write(SimFrame::build(SimFrame::Ptt, 0));
    client.write(SimFrame::build(SimFrame::Audio, 0, QByteArray(4, '\0')));
    client.write(SimFrame::build(SimFrame::Ptt, 0));
    client.write(SimFrame::build(SimFrame::Ptt, 1));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("frames"), 6, kWait);
    QCOMPARE(sim.statusValue("pttframes"), 3);
    QCOMPARE(sim.statusValue("ptt"), 1);

    // Forgetting the frames keeps the count, so waits across a clear hold.
    QVERIFY(sim.run("frames clear"));
    QCOMPARE(sim.statusValue("frames"), 0);
    QCOMPARE(sim.statusValue("pttframes"), 3);

    // The wait for a later batch needs two more than there are when it starts.
    client.write(SimFrame::build(SimFrame::Ptt, 0));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("pttframes"), 4, kWait);
    QVERIFY(!sim.waitForLaterBatch(300));
    QTimer::singleShot(0, &client, [&client] { client.write(SimFrame::build(SimFrame::Ptt, 0)); });
    QVERIFY(!sim.waitForLaterBatch(300));
    QCOMPARE(sim.statusValue("pttframes"), 5);
    QTimer::singleShot(0, &client, [&client] {
        client.write(SimFrame::build(SimFrame::Ptt, 0));
        client.write(SimFrame::build(SimFrame::Ptt, 0));
    });
    QVERIFY(sim.waitForLaterBatch(kWait));
    QCOMPARE(sim.statusValue("pttframes"), 7);
}

QTEST_MAIN(TestSimStatus)
#include "tst_simstatus.moc"
