#include "client/link/packetheader.h"
#include "tests/client/controller/morvexrun.h"
#include "tests/support/simprocess.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QtTest>

using namespace morvex;

// The real program against the simulated box, under an X display with a
// tray host: connecting, the reconnection rules, the hot key, ports, exit.
class TestMorvexE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void portsNoneThenNamed();
    void dropReconnectsAtOnce();
    void wrongPasswordRetriesAfter10s();
    void secondClientRetriesAfter10s();
    void hotKeyTogglesPttAndExitReleasesIt();
    void hotKeyWithoutPermission();
    void garbageAndCutFramesFromTheBox();
    void nonsenseSettings();
    void portFolderUnusable();
    void signalEndsWithin2sPttOff_data();
    void signalEndsWithin2sPttOff();

private:
    static QString xdotool(const QStringList &args);
    // The windows of one process only: other tests' programs share the display.
    static QString windowOf(const MorvexRun &m, const QString &title)
    {
        return xdotool({ "search", "--all", "--pid", QString::number(m.pid()), "--name", title });
    }
    static bool hasWindow(const MorvexRun &m, const QString &title) { return !windowOf(m, title).isEmpty(); }
    // A key of its own: tests run side by side on one display, and every
    // program there grabs Control+Space.
    static void pressHotKey() { xdotool({ "key", "ctrl+shift+h" }); }
    static MorvexRun::Ini withHotKey(MorvexRun::Ini ini)
    {
        ini["General/HotKeyPTT"] = "CTRL+SHIFT+H";
        return ini;
    }
    static bool startSim(SimProcess &sim, const QStringList &args = {});
    static bool startConnected(MorvexRun &m, SimProcess &sim, MorvexRun::Ini ini = {});
};

namespace {
constexpr int kWait = 30000;
}

QString TestMorvexE2e::xdotool(const QStringList &args)
{
    QProcess p;
    p.start("xdotool", args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void TestMorvexE2e::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display with a tray host (scripts/with-test-env.sh)");
    QVERIFY(QFile::exists(MorvexRun::program()));
    QVERIFY(QFile::exists(SimProcess::program()));
    QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is needed");
}

bool TestMorvexE2e::startSim(SimProcess &sim, const QStringList &args)
{
    const bool ok = sim.start(args);
    if (!ok)
        qWarning() << sim.lastError();
    return ok;
}

bool TestMorvexE2e::startConnected(MorvexRun &m, SimProcess &sim, MorvexRun::Ini ini)
{
    MorvexRun::Ini all = withHotKey(MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort()));
    for (auto it = ini.cbegin(); it != ini.cend(); ++it)
        all[it.key()] = it.value();
    if (!m.start(all))
        return false;
    return QTest::qWaitFor([&] { return sim.statusValue("loggedin") == 1; }, kWait)
        && m.waitLog("Tray message: Connected to 127.0.0.1");
}

void TestMorvexE2e::portsNoneThenNamed()
{
    SimProcess sim;
    QVERIFY(startSim(sim, { "--perm-slot", "brelko:0x0F:0:0" }));
    {
        MorvexRun m;
        QVERIFY2(startConnected(m, sim), qPrintable(m.log()));
        QVERIFY(
            QDir(m.portDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty());
        QVERIFY(!hasWindow(m, "^Warning$"));
        QVERIFY(m.terminate());
    }
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 0, kWait);

    MorvexRun m;
    QVERIFY2(
        startConnected(m, sim,
            { { "Serial/Serial_1", "COM5" }, { "Serial/Serial_2", "COM6" }, { "Serial/Serial_5", "COM9" } }),
        qPrintable(m.log()));
    for (const char *name : { "COM5", "COM6", "COM9" })
        QVERIFY2(QFileInfo::exists(m.portDir() + "/" + name), name);
    QVERIFY(!QFileInfo::exists(m.portDir() + "/COM7"));
    QVERIFY(!hasWindow(m, "^Warning$"));

    if (QStandardPaths::findExecutable("rigctl").isEmpty())
        QSKIP("rigctl (libhamlib-utils) is not installed");
    // The CAT tunnel may send once the box granted it.
    QVERIFY(m.waitLog("Permission::addData"));
    // A local radio program on the CAT port reaches the simulated radio.
    QProcess rig;
    rig.start("rigctl", { "-m", "2014", "-r", m.portDir() + "/COM5", "-s", "9600", "f" });
    QVERIFY(QTest::qWaitFor([&] { return rig.state() == QProcess::NotRunning; }, kWait));
    const QString out = QString::fromUtf8(rig.readAllStandardOutput()).trimmed();
    QVERIFY2(rig.exitCode() == 0, qPrintable(out + rig.readAllStandardError()));
    bool ok = false;
    QVERIFY2(out.toLongLong(&ok) > 0 && ok, qPrintable(out));
}

void TestMorvexE2e::dropReconnectsAtOnce()
{
    SimProcess sim;
    QVERIFY(startSim(sim));
    MorvexRun m;
    QVERIFY2(startConnected(m, sim), qPrintable(m.log()));
    QVERIFY(sim.run("drop"));
    QTRY_COMPARE_WITH_TIMEOUT(sim.eventTimes("logged in").size(), 2, kWait);
    const qint64 closed = sim.eventTimes("closed").value(0);
    const qint64 reopened = sim.eventTimes("open from").value(1);
    // At once, not after the 10 s of a refused log-in.
    QVERIFY2(reopened - closed < 5000, qPrintable(QString::number(reopened - closed)));
    QVERIFY(m.waitLog("Tray message: Disconnected", 1));
}

void TestMorvexE2e::wrongPasswordRetriesAfter10s()
{
    SimProcess sim;
    QVERIFY(startSim(sim, { "--password", "other" }));
    MorvexRun m;
    QVERIFY(m.start(withHotKey(MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort()))));
    QVERIFY2(m.waitLog("Tray message: Disconnected: wrong password", 1, kWait), qPrintable(m.log()));
    const qint64 refused = sim.eventTimes("refused").value(0);

    // Disconnected: the hot key does nothing.
    pressHotKey();

    QTRY_VERIFY_WITH_TIMEOUT(sim.eventTimes("open from").size() >= 2, kWait);
    const qint64 again = sim.eventTimes("open from").value(1);
    // 10 s later: not sooner, not much later.
    QVERIFY2(
        again - refused >= 9500 && again - refused <= 11500, qPrintable(QString::number(again - refused)));

    QVERIFY(sim.run("password brelko"));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 1, kWait);
    // After failed attempts the balloon waits until the link has held.
    QVERIFY(m.waitLog("Tray message: Connected to", 1, kWait));
    // A batch sent after the log-in carries the PTT state.
    QVERIFY(sim.waitForLaterBatch(kWait));
    for (const SimProcess::Frame &f : sim.framesOfType(PacketType::Ptt))
        QCOMPARE(f.value, 0u);
    QCOMPARE(sim.statusValue("ptt"), 0);
}

void TestMorvexE2e::secondClientRetriesAfter10s()
{
    SimProcess sim;
    QVERIFY(startSim(sim, { "--idle-timeout", "0" }));
    QTcpSocket first;
    first.connectToHost(QHostAddress::LocalHost, sim.tcpPort());
    QVERIFY(first.waitForConnected(5000));
    QByteArray login("brelko");
    login.append('\0');
    first.write(makeFrame(PacketType::Authorization, 0, login));
    QVERIFY(first.waitForBytesWritten(5000));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 1, kWait);

    MorvexRun m;
    QVERIFY(m.start(withHotKey(MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort()))));
    QVERIFY2(
        m.waitLog("Tray message: Another application has already connected.", 1, kWait), qPrintable(m.log()));
    const qint64 refused = sim.eventTimes("second client").value(0);
    QTRY_VERIFY_WITH_TIMEOUT(sim.eventTimes("second client").size() >= 2, kWait);
    const qint64 again = sim.eventTimes("second client").value(1);
    QVERIFY2(again - refused >= 9500, qPrintable(QString::number(again - refused)));

    // Once the other client is gone this one gets in.
    first.disconnectFromHost();
    QVERIFY2(m.waitLog("Tray message: Connected to", 1, kWait), qPrintable(m.log().right(3000)));
    QVERIFY(m.isRunning());
}

void TestMorvexE2e::hotKeyTogglesPttAndExitReleasesIt()
{
    SimProcess sim;
    QVERIFY(startSim(sim, { "--perm-slot", "brelko:0x0F:0:0" }));
    MorvexRun m;
    QVERIFY2(startConnected(m, sim), qPrintable(m.log()));
    QVERIFY(m.waitLog("Permission::addData"));

    pressHotKey();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);
    pressHotKey();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 0, kWait);
    pressHotKey();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);
    QVERIFY(sim.framesOfType(PacketType::Ptt).last().value == 1u);

    // Leaving while transmitting: the last PTT frame says off.
    QVERIFY(m.terminate());
    QCOMPARE(m.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m.exitCode(), 0);
    const QList<SimProcess::Frame> ptt = sim.framesOfType(PacketType::Ptt);
    QVERIFY(!ptt.isEmpty());
    QCOMPARE(ptt.last().value, 0u);
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 0, kWait);
}

void TestMorvexE2e::hotKeyWithoutPermission()
{
    SimProcess sim;
    QVERIFY(startSim(sim, { "--perm-slot", "brelko:0x0B:0:0" }));
    MorvexRun m;
    QVERIFY2(startConnected(m, sim), qPrintable(m.log()));
    QVERIFY(m.waitLog("Permission::addData"));
    pressHotKey();
    QVERIFY(m.waitLog("Tray message: Not enough permission\nfor using PTT."));
    QVERIFY(sim.waitForLaterBatch(kWait));
    for (const SimProcess::Frame &f : sim.framesOfType(PacketType::Ptt))
        QCOMPARE(f.value, 0u);
}

void TestMorvexE2e::garbageAndCutFramesFromTheBox()
{
    SimProcess sim;
    QVERIFY(startSim(sim));
    MorvexRun m;
    QVERIFY2(startConnected(m, sim), qPrintable(m.log()));

    // Bytes that are no frame at all, then a frame of an unknown type.
    QVERIFY(sim.run("send 00112233445566778899aabbccddeeff0123456789"));
    QVERIFY(sim.run("frame 77 5 deadbeef"));
    // The client goes on sending its batches after the bytes reached it.
    QVERIFY(sim.waitForLaterBatch(kWait));
    QVERIFY(m.isRunning());

    // A frame cut in the middle, then the box drops the link.
    const QByteArray frame
        = makeFrame(PacketType::Permission, 0, QByteArray("\x0f\x00\x00\x00\x00\x00\x00\x00\x00", 9));
    QVERIFY(sim.run("send " + QString::fromLatin1(frame.left(11).toHex())));
    QVERIFY(sim.run("drop"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.eventTimes("logged in").size() >= 2, kWait);
    QVERIFY(m.isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 1, kWait);
}

void TestMorvexE2e::nonsenseSettings()
{
    SimProcess sim;
    QVERIFY(startSim(sim, { "--login-timeout", "2000" }));
    MorvexRun m;
    MorvexRun::Ini ini = withHotKey(MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort()));
    ini["Serial/Serial_1"] = "COM999";
    ini["Serial/Serial_2"] = "../../etc";
    ini["Serial/Serial_3"] = "";
    ini["Serial/Serial_4"] = "COM0";
    ini["Audio/AudioInput"] = "No Such Device";
    ini["Audio/AudioOutput"] = "Nor This One";
    ini["Audio/AudioSampleRate"] = "-7";
    ini["Audio/AudioBuffer"] = "999999999";
    ini["Network/NetworkTxBuffer"] = "-5";
    ini["Network/NetworkRtpPort"] = "99999";
    ini["Network/NetworkPass"] = QString(200000, QLatin1Char('x'));
    ini["General/HotKeyPTT"] = "CTRL+ALT+SHIFT+++";
    QVERIFY(m.start(ini));

    // Names that are no port are taken as "None": no port, no box.
    QTRY_VERIFY_WITH_TIMEOUT(!sim.eventTimes("open from").isEmpty(), kWait);
    QVERIFY(QDir(m.portDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty());
    QVERIFY(!hasWindow(m, "^Warning$"));
    // A password no frame can carry is reported; the box drops the silent
    // client and the client comes back by the rules.
    QVERIFY2(m.waitLog("Password too long to log in"), qPrintable(m.log().right(3000)));
    QTRY_VERIFY_WITH_TIMEOUT(sim.eventTimes("open from").size() >= 2, kWait);
    QVERIFY(m.isRunning());
    QVERIFY(m.terminate());
    QCOMPARE(m.exitCode(), 0);
}

void TestMorvexE2e::portFolderUnusable()
{
    SimProcess sim;
    QVERIFY(startSim(sim));
    MorvexRun m;
    // A plain file where the port folder should be: no port can be made.
    QTemporaryFile blocker;
    QVERIFY(blocker.open());
    m.setPortDir(blocker.fileName() + "/vsport");
    MorvexRun::Ini ini = withHotKey(MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort()));
    ini["Serial/Serial_1"] = "COM5";
    QVERIFY(m.start(ini));

    QString id;
    QVERIFY(QTest::qWaitFor([&] { return !(id = windowOf(m, "^Warning$")).isEmpty(); }, kWait));
    QVERIFY(m.isRunning());
    // The box blocks the start-up until the operator has read it; the rest goes on.
    // A key sent before the box takes input is lost, so answer it again while
    // it is still there.
    const bool loggedIn = QTest::qWaitFor(
        [&] {
            const QString open = xdotool({ "search", "--all", "--onlyvisible", "--pid",
                QString::number(m.pid()), "--name", "^Warning$" });
            if (!open.isEmpty())
                xdotool({ "key", "--window", open.section('\n', 0, 0), "Return" });
            return sim.statusValue("loggedin") == 1;
        },
        kWait);
    QVERIFY2(loggedIn, qPrintable(m.log().right(3000)));
    QVERIFY(m.isRunning());
}

void TestMorvexE2e::signalEndsWithin2sPttOff_data()
{
    QTest::addColumn<bool>("portBox"); // a port warning during start-up instead of transmitting
    QTest::addColumn<int>("sig");
    QTest::newRow("transmitting, SIGTERM") << false << int(SIGTERM);
    QTest::newRow("transmitting, SIGINT") << false << int(SIGINT);
    QTest::newRow("port warning box open, SIGTERM") << true << int(SIGTERM);
}

void TestMorvexE2e::signalEndsWithin2sPttOff()
{
    QFETCH(bool, portBox);
    QFETCH(int, sig);
    SimProcess sim;
    QVERIFY(startSim(sim, { "--perm-slot", "brelko:0x0F:0:0" }));
    MorvexRun m;
    QTemporaryFile blocker;
    if (portBox) {
        // No port can be made: a modal box opens while the ports are created.
        QVERIFY(blocker.open());
        m.setPortDir(blocker.fileName() + "/vsport");
        MorvexRun::Ini ini
            = withHotKey(MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort()));
        ini["Serial/Serial_1"] = "COM5";
        QVERIFY(m.start(ini));
        QVERIFY2(QTest::qWaitFor([&] { return hasWindow(m, "^Warning$"); }, kWait),
            qPrintable(m.log().right(3000)));
    } else {
        QVERIFY2(startConnected(m, sim), qPrintable(m.log()));
        QVERIFY(m.waitLog("Permission::addData"));
        pressHotKey();
        QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);
    }

    // A sanitizer build runs its teardown several times slower and adds a leak
    // scan at exit: there only a hang counts.
#if defined(__SANITIZE_ADDRESS__)
    constexpr qint64 limitMs = 15000;
#else
    constexpr qint64 limitMs = 2000;
#endif
    QElapsedTimer t;
    t.start();
    ::kill(pid_t(m.pid()), sig);
    // Waits past the limit so that a slow end is measured, not cut off.
    QVERIFY(QTest::qWaitFor([&] { return !m.isRunning(); }, int(limitMs) + 10000));
    const qint64 ms = t.elapsed();
    qInfo("ended %lld ms after the signal", ms);
    QVERIFY2(ms < limitMs, qPrintable(QString("ended after %1 ms").arg(ms)));
    QCOMPARE(m.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m.exitCode(), 0);
    QVERIFY(m.log().contains("Terminating on a signal"));
    const QList<SimProcess::Frame> ptt = sim.framesOfType(PacketType::Ptt);
    if (!portBox)
        QVERIFY(!ptt.isEmpty());
    if (!ptt.isEmpty())
        QCOMPARE(ptt.last().value, 0u);
}

QTEST_MAIN(TestMorvexE2e)
#include "tst_morvex_e2e.moc"
