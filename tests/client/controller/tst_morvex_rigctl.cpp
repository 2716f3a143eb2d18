#include "client/link/packetheader.h"
#include "tests/client/controller/morvexrun.h"
#include "tests/support/simprocess.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using namespace morvex;

// Radio programs on the real program's rig control server: Hamlib's own
// network client (rigctl -m 2) against Morvex, which drives the simulated
// TS-2000 through its CAT port and keys PTT through the box.
class TestMorvexRigctl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noHamlibWhileOff();
    void radioAndPttThroughHamlib();
    void twoClientsPolling();
    void clientKilledHoldingPtt();
    void withoutRadioModel();
    void pttByCat();
    void catPortBusyWhileHeld();
    void badInput();
    void portInUse();

private:
    static quint16 freePort();
    static bool startConnected(
        MorvexRun &m, SimProcess &sim, quint16 rigPort, const MorvexRun::Ini &extra = {});
    static QString rigctl(quint16 port, const QStringList &commands, int *exitCode = nullptr);
    static bool anyPttOn(SimProcess &sim);
    static bool hamlibMapped(const MorvexRun &m);
};

namespace {
constexpr int kWait = 30000;

// An interactive rigctl -m 2 session, as a radio program keeps one open.
class RigSession final
{
    Q_DISABLE_COPY_MOVE(RigSession)

public:
    RigSession() = default;
    ~RigSession()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }
    bool start(quint16 port)
    {
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.start("rigctl", { "-m", "2", "-r", QString("127.0.0.1:%1").arg(port) });
        if (!m_proc.waitForStarted(10000))
            return false;
        // Every question goes to the server: no answers from the client's cache.
        return waitPrompt() && !ask("\\set_cache 0").contains("error");
    }
    // What the command printed before the next prompt.
    QString ask(const QString &cmd, int ms = kWait)
    {
        m_proc.write(cmd.toLatin1() + '\n');
        if (!waitPrompt(ms))
            return QStringLiteral("no answer");
        return m_last;
    }
    void send(const QString &cmd) { m_proc.write(cmd.toLatin1() + '\n'); }
    bool waitPrompt(int ms = kWait)
    {
        static const QByteArray prompt("Rig command: ");
        const bool ok = QTest::qWaitFor(
            [&] {
                m_buffer += m_proc.readAll();
                return m_buffer.contains(prompt) || m_proc.state() == QProcess::NotRunning;
            },
            ms);
        const int at = m_buffer.indexOf(prompt);
        if (!ok || at < 0)
            return false;
        m_last = QString::fromLocal8Bit(m_buffer.left(at)).trimmed();
        m_buffer.remove(0, at + prompt.size());
        return true;
    }
    QProcess &process() { return m_proc; }
    QString last() const { return m_last; }

private:
    QProcess m_proc;
    QByteArray m_buffer;
    QString m_last;
};

// One keep-alive batch and a little.
constexpr int kBatchMs = 2500;

// Reads one line from a socket, waiting for it.
QByteArray readLine(QTcpSocket &s, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!s.canReadLine() && t.elapsed() < ms)
        s.waitForReadyRead(100);
    return s.canReadLine() ? s.readLine() : QByteArray();
}
} // namespace

void TestMorvexRigctl::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display with a tray host (scripts/with-test-env.sh)");
    QVERIFY(QFile::exists(MorvexRun::program()));
    QVERIFY(QFile::exists(SimProcess::program()));
    QVERIFY2(!QStandardPaths::findExecutable("rigctl").isEmpty(), "rigctl (libhamlib-utils) is needed");
}

quint16 TestMorvexRigctl::freePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

bool TestMorvexRigctl::startConnected(
    MorvexRun &m, SimProcess &sim, quint16 rigPort, const MorvexRun::Ini &extra)
{
    if (!sim.start({ "--perm-slot", "brelko:0x0F:0:0" }))
        return false;
    MorvexRun::Ini ini = MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort());
    ini["Serial/Serial_1"] = "COM5";
    ini["RigControl/RigEnabled"] = "true";
    ini["RigControl/RigPort"] = QString::number(rigPort);
    ini["RigControl/RigModel"] = "2014";
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        ini[it.key()] = it.value();
    if (!m.start(ini))
        return false;
    return QTest::qWaitFor([&] { return sim.statusValue("loggedin") == 1; }, kWait)
        && m.waitLog("Permission::addData") && m.waitLog("Rig control: listening");
}

QString TestMorvexRigctl::rigctl(quint16 port, const QStringList &commands, int *exitCode)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("rigctl", QStringList { "-m", "2", "-r", QString("127.0.0.1:%1").arg(port) } + commands);
    if (!p.waitForFinished(kWait)) {
        p.kill();
        p.waitForFinished();
        return "rigctl hung";
    }
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromLocal8Bit(p.readAll()).trimmed();
}

bool TestMorvexRigctl::anyPttOn(SimProcess &sim)
{
    for (const SimProcess::Frame &f : sim.framesOfType(PacketType::Ptt)) {
        if (f.value != 0u)
            return true;
    }
    return false;
}

bool TestMorvexRigctl::hamlibMapped(const MorvexRun &m)
{
    QFile maps(QString("/proc/%1/maps").arg(m.pid()));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libhamlib");
}

void TestMorvexRigctl::noHamlibWhileOff()
{
    // A radio model chosen once, rig control since switched off: logged in
    // and streaming, the program has not loaded Hamlib.
    SimProcess sim;
    MorvexRun m;
    QVERIFY(sim.start({ "--perm-slot", "brelko:0x0F:0:0" }));
    MorvexRun::Ini ini = MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort());
    ini["Serial/Serial_1"] = "COM5";
    ini["RigControl/RigEnabled"] = "false";
    ini["RigControl/RigModel"] = "2014";
    QVERIFY(m.start(ini));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 1, kWait);
    QVERIFY(m.waitLog("Permission::addData"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.statusValue("audio") > 50, kWait);
    QVERIFY(m.isRunning());
    QVERIFY(!hamlibMapped(m));
    QVERIFY(!m.log().contains("Rig control"));
    QVERIFY(m.terminate());
}

void TestMorvexRigctl::radioAndPttThroughHamlib()
{
    SimProcess sim;
    MorvexRun m;
    const quint16 port = freePort();
    QVERIFY2(startConnected(m, sim, port), qPrintable(m.log().right(3000)));
    QVERIFY(hamlibMapped(m));

    QCOMPARE(rigctl(port, { "f" }), QString("14250000"));
    QCOMPARE(rigctl(port, { "F", "7074000" }), QString());
    QCOMPARE(rigctl(port, { "f" }), QString("7074000"));
    QCOMPARE(rigctl(port, { "M", "USB", "2400" }), QString());
    const QStringList mode = rigctl(port, { "m" }).split('\n');
    QCOMPARE(mode.value(0), QString("USB"));
    QVERIFY2(mode.value(1).toInt() > 0, qPrintable(mode.join('|')));

    // PTT goes through the box: a PTT frame, and t follows what the box
    // reports. A session stays open, as a radio program's does: leaving
    // releases PTT.
    RigSession rig;
    QVERIFY(rig.start(port));
    QVERIFY(sim.run("frames clear"));
    QCOMPARE(rig.ask("t"), QString("PTT: 0"));
    QCOMPARE(rig.ask("T 1"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);
    QVERIFY(anyPttOn(sim));
    QTRY_COMPARE_WITH_TIMEOUT(rig.ask("t"), QString("PTT: 1"), kWait);
    QCOMPARE(rig.ask("T 0"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 0, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(rig.ask("t"), QString("PTT: 0"), kWait);

    // PTT (bit 2) withdrawn: refused, and nothing keys the box.
    const int perms = m.count("Permission::addData");
    QVERIFY(sim.run("perm 11 0 0"));
    QVERIFY(m.waitLog("Permission::addData", perms + 1, kWait));
    QVERIFY(sim.run("frames clear"));
    const QString refused = rig.ask("T 1");
    QVERIFY2(refused.contains("rejected", Qt::CaseInsensitive), qPrintable(refused));
    QVERIFY(sim.waitForLaterBatch(kWait));
    QVERIFY(!anyPttOn(sim));
    QCOMPARE(sim.statusValue("ptt"), 0);
    QVERIFY(m.waitLog("Tray message: Not enough permission\nfor using PTT."));
    QVERIFY(m.terminate());
}

void TestMorvexRigctl::twoClientsPolling()
{
    SimProcess sim;
    MorvexRun m;
    const quint16 port = freePort();
    QVERIFY2(startConnected(m, sim, port), qPrintable(m.log().right(3000)));
    QCOMPARE(rigctl(port, { "F", "7074000" }), QString());

    // Two interactive sessions, each asking f every 100 ms for 30 s; each
    // answer is checked as it comes.
    struct Poller
    {
        RigSession session;
        bool waiting = false;
        int asked = 0;
        int right = 0;
        qint64 worstMs = 0;
        QElapsedTimer since;
    };
    Poller pollers[2];
    for (Poller &p : pollers) {
        QVERIFY(p.session.start(port));
        p.since.start();
    }
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < 30000) {
        for (Poller &p : pollers) {
            if (p.waiting && p.session.waitPrompt(0)) {
                p.waiting = false;
                p.worstMs = qMax(p.worstMs, p.since.elapsed());
                QCOMPARE(p.session.last(), QString("Frequency: 7074000"));
                ++p.right;
            }
            // A stall: an answer outstanding for long.
            QVERIFY2(!p.waiting || p.since.elapsed() < 5000, qPrintable(m.log().right(2000)));
            if (!p.waiting && p.since.elapsed() >= 100) {
                p.since.start();
                p.session.send("f");
                p.waiting = true;
                ++p.asked;
            }
        }
        QTest::qWait(5);
    }
    for (Poller &p : pollers) {
        qInfo("client: %d asked, %d right, slowest answer %lld ms", p.asked, p.right, p.worstMs);
        // Answers kept pace with the polling: nobody waited on the other.
        QVERIFY2(p.asked >= 150, qPrintable(QString::number(p.asked)));
        QVERIFY(p.right >= p.asked - 1);
    }
    QVERIFY(m.terminate());
}

void TestMorvexRigctl::clientKilledHoldingPtt()
{
    SimProcess sim;
    MorvexRun m;
    const quint16 port = freePort();
    QVERIFY2(startConnected(m, sim, port), qPrintable(m.log().right(3000)));

    RigSession client;
    QVERIFY(client.start(port));
    QCOMPARE(client.ask("T 1"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);

    QVERIFY(sim.run("frames clear"));
    QElapsedTimer clock;
    clock.start();
    client.process().kill();
    QVERIFY(client.process().waitForFinished(10000));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 0, kWait);
    QVERIFY2(clock.elapsed() <= kBatchMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(sim.framesOfType(PacketType::Ptt).last().value, 0u);
    QVERIFY(m.waitLog("Rig control: client left holding PTT, released"));
    QVERIFY(m.terminate());
}

void TestMorvexRigctl::withoutRadioModel()
{
    SimProcess sim;
    MorvexRun m;
    const quint16 port = freePort();
    QVERIFY2(
        startConnected(m, sim, port, { { "RigControl/RigModel", "0" } }), qPrintable(m.log().right(3000)));

    const QString f = rigctl(port, { "f" });
    QVERIFY2(f.contains("Feature not available"), qPrintable(f));
    QVERIFY(rigctl(port, { "M", "USB", "2400" }).contains("Feature not available"));
    // Nothing went to the radio.
    QVERIFY(sim.run("frames clear"));
    RigSession rig;
    QVERIFY(rig.start(port));
    QCOMPARE(rig.ask("T 1"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(rig.ask("t"), QString("PTT: 1"), kWait);
    QCOMPARE(rig.ask("T 0"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 0, kWait);
    QVERIFY(sim.framesOfType(PacketType::SerialCat).isEmpty());
    QVERIFY(m.terminate());
}

void TestMorvexRigctl::pttByCat()
{
    SimProcess sim;
    MorvexRun m;
    const quint16 port = freePort();
    QVERIFY2(startConnected(m, sim, port, { { "RigControl/RigPttByCat", "true" } }),
        qPrintable(m.log().right(3000)));

    // The radio is keyed through its CAT dialect; the box's PTT stays off.
    RigSession rig;
    QVERIFY(rig.start(port));
    QVERIFY(sim.run("frames clear"));
    QCOMPARE(rig.ask("T 1"), QString());
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("radio cmd TX"), kWait);
    // Hamlib's backend may answer from its last status read for a moment.
    QTRY_COMPARE_WITH_TIMEOUT(rig.ask("t"), QString("PTT: 1"), kWait);
    // Leaving while keyed unkeys the radio too.
    rig.process().kill();
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("radio cmd RX"), kWait);
    QVERIFY(m.waitLog("Rig control: client left holding PTT, released"));
    RigSession again;
    QVERIFY(again.start(port));
    QTRY_COMPARE_WITH_TIMEOUT(again.ask("t"), QString("PTT: 0"), kWait);
    QVERIFY(!anyPttOn(sim));
    QCOMPARE(sim.statusValue("ptt"), 0);
    QVERIFY(m.terminate());
}

void TestMorvexRigctl::catPortBusyWhileHeld()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
        QSKIP("needs root and setpriv to play an ordinary user's program");
    SimProcess sim;
    MorvexRun m;
    const quint16 port = freePort();
    QVERIFY2(startConnected(m, sim, port), qPrintable(m.log().right(3000)));
    // An ordinary user's program opening the CAT port (root ignores the busy
    // mark, so the program runs as nobody on a port it may open).
    const QString node = QFileInfo(m.portDir() + "/COM5").canonicalFilePath();
    QVERIFY(!node.isEmpty());
    QVERIFY(QFile::setPermissions(node,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::WriteGroup
            | QFileDevice::ReadOther | QFileDevice::WriteOther));
    auto programOpens = [&node](QString *error) {
        QProcess p;
        p.start("setpriv",
            { "--reuid=65534", "--regid=65534", "--clear-groups", "/bin/sh", "-c", ": <> \"$0\"", node });
        p.waitForFinished(10000);
        *error = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };
    QString error;
    QVERIFY2(programOpens(&error), qPrintable(error));
    // Once the server has opened the radio, the port is busy for others.
    QCOMPARE(rigctl(port, { "f" }), QString("14250000"));
    QVERIFY(!programOpens(&error));
    QVERIFY2(error.contains("busy", Qt::CaseInsensitive), qPrintable(error));
    QVERIFY(m.terminate());
}

void TestMorvexRigctl::badInput()
{
    SimProcess sim;
    MorvexRun m;
    const quint16 port = freePort();
    QVERIFY2(startConnected(m, sim, port), qPrintable(m.log().right(3000)));

    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(s.waitForConnected(10000));
    const struct
    {
        QByteArray sent;
        QByteArray answer;
    } cases[] = {
        { "zz\n", "RPRT -1\n" },
        { "\\no_such_command\n", "RPRT -1\n" },
        { QByteArray("\x01\xff\x00garbage\n", 11), "RPRT -1\n" },
        { "F\n", "RPRT -1\n" },
        { "F seven\n", "RPRT -1\n" },
        { "F 7074000 14074000\n", "RPRT -1\n" },
        { "M NOSUCHMODE 2400\n", "RPRT -1\n" },
        { "T 9\n", "RPRT -1\n" },
        { "l NOSUCHLEVEL\n", "RPRT -1\n" },
        { QByteArray(2000, 'f') + "\n", "RPRT -1\n" },
        { "+f\n", "get_freq:\nFrequency: 14250000\nRPRT 0\n" },
        { ";f\n", "get_freq:;Frequency: 14250000;RPRT 0\n" },
        { "\\chk_vfo\n", "0\n" },
        { "\\get_powerstat\n", "1\n" },
        { "f\n", "14250000\n" },
    };
    for (const auto &c : cases) {
        s.write(c.sent);
        QByteArray got;
        while (got.count('\n') < c.answer.count('\n')) {
            const QByteArray l = readLine(s);
            if (l.isEmpty())
                break;
            got += l;
        }
        QCOMPARE(got, c.answer);
    }

    s.write("\\dump_caps\n");
    QByteArray caps;
    while (!caps.endsWith("RPRT 0\n")) {
        const QByteArray l = readLine(s);
        if (l.isEmpty())
            break;
        caps += l;
    }
    QVERIFY2(caps.contains("Model name:\tTS-2000"), caps.constData());

    // A client that sends without ever reading holds nobody else up.
    QTcpSocket deaf;
    deaf.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(deaf.waitForConnected(10000));
    const QByteArray flood = QByteArray("\\dump_state\n").repeated(20000);
    deaf.write(flood);
    // The flood is handed over and the server is answering it.
    QTRY_VERIFY_WITH_TIMEOUT(deaf.bytesToWrite() == 0 && deaf.bytesAvailable() > 0, kWait);
    QCOMPARE(rigctl(port, { "f" }), QString("14250000"));

    // A thousand connections in a row.
    for (int i = 0; i < 1000; ++i) {
        QTcpSocket c;
        c.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(c.waitForConnected(10000));
        if (i % 100 == 0) {
            c.write("\\chk_vfo\n");
            QVERIFY2(readLine(c) == "0\n", qPrintable(QString::number(i) + m.log().right(1500)));
        }
        c.abort();
    }
    s.write("f\n");
    QCOMPARE(readLine(s), QByteArray("14250000\n"));
    deaf.abort();
    QCOMPARE(rigctl(port, { "f" }), QString("14250000"));
    QVERIFY(m.isRunning());
    QVERIFY(m.terminate());
}

void TestMorvexRigctl::portInUse()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::LocalHost, 0));
    SimProcess sim;
    MorvexRun m;
    QVERIFY(sim.start({ "--perm-slot", "brelko:0x0F:0:0" }));
    MorvexRun::Ini ini = MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort());
    ini["RigControl/RigEnabled"] = "true";
    ini["RigControl/RigPort"] = QString::number(other.serverPort());
    QVERIFY(m.start(ini));
    QVERIFY2(m.waitLog(QString("Rig control: cannot listen on 127.0.0.1:%1").arg(other.serverPort())),
        qPrintable(m.log().right(3000)));
    // The program itself goes on.
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("loggedin"), 1, kWait);
    QVERIFY(m.isRunning());
    QVERIFY(m.terminate());
}

QTEST_GUILESS_MAIN(TestMorvexRigctl)
#include "tst_morvex_rigctl.moc"
