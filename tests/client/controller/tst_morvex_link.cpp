#include "tests/client/controller/morvexrun.h"
#include "tests/support/simprocess.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

// The real program's connection to the box: a host name as address, a box
// that keeps failing (it must not be hammered), and an ordinary drop.
class TestMorvexLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hostNameAsAddress();
    void unresolvableName();
    void slowResolver();
    void failingBoxBacksOff_data();
    void failingBoxBacksOff();
    void dropAfterLongSessionReconnectsAtOnce();

private:
    static bool startSim(SimProcess &sim, const QStringList &args = {});
};

namespace {
constexpr int kWait = 30000;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kQuickMs = 500;
#else
constexpr int kQuickMs = 100;
#endif
constexpr int kQuickExitMs = 2000;
const QString kAttempt = QStringLiteral("Connecting to host");
} // namespace

void TestMorvexLink::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display with a tray host (scripts/with-test-env.sh)");
    QVERIFY(QFile::exists(MorvexRun::program()));
    QVERIFY(QFile::exists(SimProcess::program()));
}

bool TestMorvexLink::startSim(SimProcess &sim, const QStringList &args)
{
    const bool ok = sim.start(args);
    if (!ok)
        qWarning() << sim.lastError();
    return ok;
}

void TestMorvexLink::hostNameAsAddress()
{
    SimProcess sim;
    QVERIFY(startSim(sim, { "--perm-slot", "brelko:0x0F:0:0" }));
    MorvexRun m;
    MorvexRun::Ini ini = MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort());
    ini["Network/NetworkAddr"] = "localhost";
    QVERIFY(m.start(ini));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 1, kWait);
    QVERIFY2(m.waitLog("Looking up localhost"), qPrintable(m.log().right(3000)));
    QVERIFY(m.waitLog("Tray message: Connected to 127.0.0.1"));

    // Audio reaches the box, and the box's audio comes back and is played.
    QTRY_VERIFY_WITH_TIMEOUT(sim.statusValue("audio") > 50, kWait);
    const QStringList audio = sim.command("audio");
    QVERIFY2(!audio.isEmpty() && !audio.first().contains("target=:0"), qPrintable(audio.join('\n')));
    // What the box sends is taken as the box's, not dropped as a stranger's:
    // a stranger's datagram behind the box's audio is the first one dropped
    // (only the first is logged).
    static const QRegularExpression target(QStringLiteral("target=(\\S+):(\\d+) "));
    const quint16 morvexPort = quint16(target.match(audio.first()).captured(2).toUInt());
    QVERIFY2(morvexPort != 0, qPrintable(audio.first()));
    QTRY_VERIFY_WITH_TIMEOUT(
        sim.command("audio").value(0).contains(QRegularExpression("^sent=[1-9]\\d+ ")), kWait);
    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress(QHostAddress::LocalHost)));
    QCOMPARE(stranger.writeDatagram(QByteArray(28, '\0'), QHostAddress::LocalHost, morvexPort), qint64(28));
    QVERIFY2(m.waitLog(QString("dropping audio from 127.0.0.1:%1,").arg(stranger.localPort()), 1, kWait),
        qPrintable(m.log().right(3000)));
    QCOMPARE(m.count("dropping audio from"), 1);
    // Keying records arrive once the permission frame allows them.
    QTRY_VERIFY_WITH_TIMEOUT(sim.statusValue("keying") > 10, kWait);

    // A new attempt looks the name up again.
    QVERIFY(sim.run("drop"));
    QVERIFY2(m.waitLog("Looking up localhost", 2, kWait), qPrintable(m.log().right(3000)));
    QTRY_COMPARE_WITH_TIMEOUT(sim.eventTimes("logged in").size(), 2, kWait);
}

void TestMorvexLink::unresolvableName()
{
    MorvexRun m;
    MorvexRun::Ini ini = MorvexRun::defaults(1, 1, 1);
    ini["Network/NetworkAddr"] = "no-such-box.invalid";
    QVERIFY(m.start(ini));
    QVERIFY2(
        m.waitLog("Tray message: Disconnected: host not found", 1, kWait), qPrintable(m.log().right(3000)));
    QVERIFY(m.waitLog("Next connection attempt in 1 s"));
    // Tried again by the back-off, quietly.
    QVERIFY2(m.waitLog("Looking up no-such-box.invalid", 3, kWait), qPrintable(m.log().right(3000)));
    QVERIFY(m.waitLog("Next connection attempt in 4 s", 1, kWait));
    QCOMPARE(m.count("Tray message: Disconnected"), 1);
    QVERIFY(m.isRunning());
    QVERIFY(m.terminate());
    QCOMPARE(m.exitCode(), 0);
}

void TestMorvexLink::slowResolver()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("the resolver is swapped by preloading, which the sanitizers' runtimes refuse");
#endif
    const QString preload = qEnvironmentVariable("BRELKO_LIB_DIR") + "/libbrelko_slowresolver.so";
    QVERIFY(QFile::exists(preload));
    MorvexRun m;
    MorvexRun::Ini ini = MorvexRun::defaults(1, 1, 1);
    ini["Network/NetworkAddr"] = "box.slow.test";
    qputenv("LD_PRELOAD", QFile::encodeName(preload));
    qputenv("BRELKO_SLOW_RESOLVER_MS", "3000");
    const bool started = m.start(ini);
    qunsetenv("LD_PRELOAD");
    qunsetenv("BRELKO_SLOW_RESOLVER_MS");
    QVERIFY(started);
    QVERIFY2(m.waitLog("Looking up box.slow.test", 1, kWait), qPrintable(m.log().right(3000)));

    // While the name is being looked up the program answers: a second start
    // hands its argument over and the first one logs it.
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m.startAgain({ "/nonexistent/file.brelkonet" }), 0);
    QVERIFY2(m.waitLog("Message from another start:", 1, 10000), qPrintable(m.log().right(3000)));
    QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!m.log().contains("not found"));

    // The answer, when it comes, is a failure like any other.
    QVERIFY2(
        m.waitLog("Tray message: Disconnected: host not found", 1, kWait), qPrintable(m.log().right(3000)));
    // And a pending lookup does not hold up the end of the program.
    QVERIFY(m.waitLog("Looking up box.slow.test", 2, kWait));
    clock.restart();
    QVERIFY(m.terminate(20000));
    QVERIFY2(clock.elapsed() < kQuickExitMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m.exitCode(), 0);
}

void TestMorvexLink::failingBoxBacksOff_data()
{
    QTest::addColumn<bool>("closedPort");
    QTest::newRow("box grants no access") << false;
    QTest::newRow("command port closed") << true;
}

void TestMorvexLink::failingBoxBacksOff()
{
    QFETCH(bool, closedPort);
    SimProcess sim;
    quint16 port = 0;
    if (closedPort) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    } else {
        QVERIFY(startSim(sim, { "--perm-slot", "brelko:0x00:0:0" }));
        port = sim.tcpPort();
    }
    MorvexRun m;
    m.watch(kAttempt);
    m.watch("Tray message: Disconnected");
    QVERIFY(m.start(MorvexRun::defaults(
        port, closedPort ? port : sim.audioPort(), closedPort ? port : sim.keyingPort())));

    // Attempt times as the program logs them.
    QElapsedTimer clock;
    clock.start();
    QList<qint64> attempts;
    const bool seen = QTest::qWaitFor(
        [&] {
            while (attempts.size() < m.count(kAttempt))
                attempts << clock.elapsed();
            return attempts.size() >= 7;
        },
        90000);
    QVERIFY2(seen, qPrintable(m.log().right(3000)));
    // 1, 2, 4, 8, then 10 s between attempts: never sooner, never much later.
    const int steps[] = { 1000, 2000, 4000, 8000, 10000, 10000 };
    for (int i = 0; i < 6; ++i) {
        const qint64 gap = attempts.at(i + 1) - attempts.at(i);
        QVERIFY2(gap >= steps[i] - 100 && gap <= steps[i] + 1500,
            qPrintable(QString("gap %1: %2 ms, step %3").arg(i).arg(gap).arg(steps[i])));
    }
    // One balloon for the whole outage.
    QCOMPARE(m.count("Tray message: Disconnected"), 1);
    QVERIFY(m.waitLog("Next connection attempt in 10 s"));

    // The box recovers: connected within the current step.
    clock.restart();
    if (closedPort)
        QVERIFY(startSim(sim, { "--tcp-port", QString::number(port), "--perm-slot", "brelko:0x0F:0:0" }));
    else
        QVERIFY(sim.run("perm slot brelko:0x0F:0:0"));
    QTRY_VERIFY2_WITH_TIMEOUT(sim.statusValue("loggedin") == 1, qPrintable(m.log().right(2500)), 15000);
    QVERIFY2(clock.elapsed() <= 11500, qPrintable(QString::number(clock.elapsed())));
    // It stays: the balloon comes once the link has held for 10 s.
    QVERIFY2(
        m.waitLog("Tray message: Connected to", closedPort ? 1 : 2, 25000), qPrintable(m.log().right(4000)));
    QCOMPARE(m.count("Tray message: Disconnected"), 1);
    QVERIFY(m.terminate());
}

void TestMorvexLink::dropAfterLongSessionReconnectsAtOnce()
{
    SimProcess sim;
    QVERIFY(startSim(sim, { "--perm-slot", "brelko:0x0F:0:0" }));
    MorvexRun m;
    QVERIFY(m.start(MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort())));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 1, kWait);
    // A session that has lived 30 s is healthy.
    QTest::qWait(31000);
    QVERIFY(sim.run("drop"));
    QTRY_COMPARE_WITH_TIMEOUT(sim.eventTimes("logged in").size(), 2, kWait);
    const qint64 closed = sim.eventTimes("closed").value(0);
    const qint64 again = sim.eventTimes("logged in").value(1);
    QVERIFY2(again - closed < kQuickMs, qPrintable(QString::number(again - closed)));
    QVERIFY(m.waitLog("Connecting again at once"));
}

QTEST_MAIN(TestMorvexLink)
#include "tst_morvex_link.moc"
