#include "client/link/packetheader.h"
#include "platform/vsportclient.h"
#include "tests/client/controller/morvexrun.h"
#include "tests/support/simprocess.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace morvex;

// The real program never leaves the transmitter keyed: a program taking the
// PTT/CW port, a permission withdrawn while keyed, the transmit time-out of
// the hot key and of the WinKey emulation.
class TestMorvexPtt : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void programTakesThePttPort();
    void permissionWithdrawnWhileKeyed();
    void transmitTimeOut();

private:
    struct Edge
    {
        qint64 t = 0;
        bool key = false;
        bool ptt = false;
    };
    static void pressHotKey();
    static bool startConnected(MorvexRun &m, SimProcess &sim, const MorvexRun::Ini &extra = {});
    static QVector<Edge> timeline(SimProcess &sim);
    static bool keyingPtt(SimProcess &sim, bool on);
};

namespace {
constexpr int kWait = 30000;
// One keep-alive batch and a little.
constexpr int kBatchMs = 2500;
} // namespace

void TestMorvexPtt::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display with a tray host (scripts/with-test-env.sh)");
    QVERIFY(QFile::exists(MorvexRun::program()));
    QVERIFY(QFile::exists(SimProcess::program()));
    QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is needed");
}

void TestMorvexPtt::pressHotKey()
{
    QProcess p;
    // A key of its own: tests run side by side on one display, and every
    // program there grabs Control+Space.
    p.start("xdotool", { "key", "ctrl+shift+j" });
    p.waitForFinished(10000);
}

bool TestMorvexPtt::startConnected(MorvexRun &m, SimProcess &sim, const MorvexRun::Ini &extra)
{
    if (!sim.start({ "--perm-slot", "brelko:0x0F:0:0" }))
        return false;
    MorvexRun::Ini ini = MorvexRun::defaults(sim.tcpPort(), sim.audioPort(), sim.keyingPort());
    ini["General/HotKeyPTT"] = "CTRL+SHIFT+J";
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        ini[it.key()] = it.value();
    if (!m.start(ini))
        return false;
    return QTest::qWaitFor([&] { return sim.statusValue("loggedin") == 1; }, kWait)
        && m.waitLog("Permission::addData")
        && QTest::qWaitFor([&] { return sim.statusValue("keying") > 0; }, kWait);
}

QVector<TestMorvexPtt::Edge> TestMorvexPtt::timeline(SimProcess &sim)
{
    static const QRegularExpression re(QStringLiteral("t=(-?\\d+) clock=-?\\d+ key=(\\d) ptt=(\\d)"));
    QVector<Edge> edges;
    for (const QString &l : sim.command(QStringLiteral("keying timeline"))) {
        const QRegularExpressionMatch m = re.match(l);
        if (m.hasMatch())
            edges.append({ m.captured(1).toLongLong(), m.captured(2) == "1", m.captured(3) == "1" });
    }
    return edges;
}

bool TestMorvexPtt::keyingPtt(SimProcess &sim, bool on)
{
    return sim.command("keying").value(0).contains(on ? "ptt=1" : "ptt=0");
}

void TestMorvexPtt::programTakesThePttPort()
{
    SimProcess sim;
    MorvexRun m;
    QVERIFY2(startConnected(m, sim, { { "Serial/Serial_2", "COM6" } }), qPrintable(m.log().right(3000)));

    pressHotKey();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(keyingPtt(sim, true), kWait);

    // A program opens the PTT/CW port while the button is keyed, then the
    // operator lets go: the box hears PTT off on both paths.
    const int fd
        = ::open(QFile::encodeName(m.portDir() + "/COM6").constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QTest::qWait(500); // the port notices its program on its next poll
    pressHotKey();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 0, kWait);
    QCOMPARE(sim.framesOfType(PacketType::Ptt).last().value, 0u);
    QTRY_VERIFY_WITH_TIMEOUT(keyingPtt(sim, false), kWait);

    // While the program holds the port, the hot key does not key.
    QVERIFY(sim.run("frames clear"));
    pressHotKey();
    // A batch that left after the key carries the PTT state.
    QVERIFY(sim.waitForLaterBatch(kWait));
    const QList<SimProcess::Frame> frames = sim.framesOfType(PacketType::Ptt);
    QVERIFY(!frames.isEmpty());
    for (const SimProcess::Frame &f : frames)
        QCOMPARE(f.value, 0u);
    QVERIFY(keyingPtt(sim, false));
    ::close(fd);
    QVERIFY(m.terminate());
}

void TestMorvexPtt::permissionWithdrawnWhileKeyed()
{
    SimProcess sim;
    MorvexRun m;
    QVERIFY2(startConnected(m, sim), qPrintable(m.log().right(3000)));
    pressHotKey();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);
    // The hot key forces PTT in the keying records too.
    QTRY_VERIFY_WITH_TIMEOUT(keyingPtt(sim, true), kWait);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(sim.run("perm 11 0 0")); // PTT (bit 2) withdrawn
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 0, kWait);
    QVERIFY2(clock.elapsed() <= kBatchMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(sim.framesOfType(PacketType::Ptt).last().value, 0u);
    QTRY_VERIFY_WITH_TIMEOUT(keyingPtt(sim, false), kWait);
    const QVector<Edge> edges = timeline(sim);
    QVERIFY(!edges.isEmpty() && !edges.last().ptt);

    // Refused from now on.
    pressHotKey();
    QVERIFY(m.waitLog("Tray message: Not enough permission\nfor using PTT."));
    QVERIFY(sim.waitForLaterBatch(kWait));
    QCOMPARE(sim.statusValue("ptt"), 0);
    QVERIFY(m.terminate());
}

void TestMorvexPtt::transmitTimeOut()
{
    SimProcess sim;
    MorvexRun m;
    QVERIFY2(startConnected(m, sim, { { "Network/TxTimeout", "2" }, { "Serial/Serial_5", "COM9" } }),
        qPrintable(m.log().right(3000)));

    // The hot key: released after 2 s, and stays released.
    QVERIFY(sim.run("frames clear"));
    pressHotKey();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);
    QVERIFY2(
        m.waitLog("Transmit time-out: PTT released after 2 s", 1, kWait), qPrintable(m.log().right(3000)));
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 0, kWait);
    QList<SimProcess::Frame> frames = sim.framesOfType(PacketType::Ptt);
    qint64 on = -1;
    qint64 off = -1;
    for (const SimProcess::Frame &f : frames) {
        if (f.value == 1u && on < 0)
            on = f.ms;
        if (f.value == 0u && on >= 0 && off < 0)
            off = f.ms;
    }
    QVERIFY(on >= 0 && off > on);
    QVERIFY2(off - on >= 1900 && off - on <= 3000, qPrintable(QString::number(off - on)));
    QVERIFY(m.waitLog("Tray message: Transmit time-out: PTT released after 2 s"));
    QVERIFY(sim.waitForLaterBatch(kWait));
    QCOMPARE(sim.statusValue("ptt"), 0);
    QVERIFY(keyingPtt(sim, false));
    // Pressed again, it keys again.
    pressHotKey();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 1, kWait);
    pressHotKey();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue("ptt"), 0, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(keyingPtt(sim, false), kWait);

    // The WinKey emulation holding PTT through a long text: PTT goes after
    // 2 s while the key goes on, and comes back only with the next text.
    qputenv("VSPORT_DIR", QFile::encodeName(m.portDir()));
    VSPortClient host;
    QVERIFY(host.open("COM9"));
    QVERIFY(host.setLine(1200, 8, 0, 2));
    host.write(QByteArray("\x00\x02", 2));
    QCOMPARE(host.read(1, 10000), QByteArray("\x0a"));
    // 12 WPM, neutral timing, PTT lead 100 ms and tail 50 ms.
    host.write(QByteArray("\x02\x0c\x03\x32\x17\x32\x04\x0a\x05\x10\x00\x11\x00\x0d\x00\x0e\x00", 17));
    QVERIFY(sim.run("keying clear"));
    host.write("PARIS PARIS");
    // PARIS is 14 elements: the whole text has been keyed at 28 key-downs.
    auto keyDowns = [](const QVector<Edge> &edges) {
        int n = 0;
        bool key = false;
        for (const Edge &e : edges) {
            n += e.key && !key;
            key = e.key;
        }
        return n;
    };
    QVector<Edge> edges;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     edges = timeline(sim);
                     return keyDowns(edges) >= 28 && !edges.last().key && !edges.last().ptt;
                 },
                 60000),
        qPrintable(m.log().right(3000)));
    QVERIFY(m.waitLog("Transmit time-out: PTT from the WinKey released after 2 s"));
    QCOMPARE(keyDowns(edges), 28);
    edges = timeline(sim);
    // The last stretch of PTT is the one the time-out ended: it lasted the
    // time-out exactly, and PTT never came back while the key went on.
    int pttOn = -1;
    int pttOff = -1;
    for (int i = 0; i < edges.size(); ++i) {
        const bool before = i > 0 && edges.at(i - 1).ptt;
        if (edges.at(i).ptt && !before)
            pttOn = i;
        if (!edges.at(i).ptt && before)
            pttOff = i;
    }
    QStringList all;
    for (const Edge &e : edges)
        all << QString("%1:%2%3").arg(e.t).arg(e.key ? "K" : "-").arg(e.ptt ? "P" : "-");
    QVERIFY2(pttOn >= 0 && pttOff > pttOn, qPrintable(all.join(' ')));
    const qint64 held = edges.at(pttOff).t - edges.at(pttOn).t;
    QVERIFY2(held >= 2000 && held <= 2002, qPrintable(all.join(' ')));
    int keyAfter = 0;
    for (int i = pttOff + 1; i < edges.size(); ++i)
        keyAfter += edges.at(i).key && !edges.at(i - 1).key;
    QVERIFY2(keyAfter > 5, qPrintable(all.join(' ')));
    QVERIFY(m.terminate());
}

QTEST_MAIN(TestMorvexPtt)
#include "tst_morvex_ptt.moc"
