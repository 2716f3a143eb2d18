#include "client/ports/cwthread.h"
#include "client/ports/pttcwserial.h"
#include "client/ports/vserial.h"
#include "client/ports/winkey.h"
#include "platform/vsportclient.h"
#include "tests/support/simprocess.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace morvex;

namespace {
struct Edge
{
    qint64 t = 0;
    bool key = false;
    bool ptt = false;
};

// Ideal key edges (down, up, down, ...) of text at neutral settings, from 0.
QVector<qint64> idealKeyEdges(const QByteArray &text, int dit)
{
    static const QMap<char, const char *> morse { { 'P', ".--." }, { 'A', ".-" }, { 'R', ".-." },
        { 'I', ".." }, { 'S', "..." }, { 'C', "-.-." }, { 'Q', "--.-" }, { 'T', "-" }, { 'E', "." },
        { '0', "-----" }, { '5', "....." } };
    QVector<qint64> edges;
    qint64 t = 0;
    for (char c : text) {
        if (c == ' ') {
            t += 7 * dit;
            continue;
        }
        const char *p = morse.value(c);
        for (int i = 0; p[i]; ++i) {
            const int len = p[i] == '.' ? dit : 3 * dit;
            edges << t << t + len;
            t += len + (p[i + 1] ? dit : 3 * dit);
        }
    }
    return edges;
}
} // namespace

class TestKeyingE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void winkeyHostProtocol();
    void winkeyTimeline_data();
    void winkeyTimeline();
    void linesFromProgram();
    void forcedPtt();
    void sendingDisabled();
    void restartKeepsPermissionAndForcedPtt();
    void withdrawalSendsReleasedRecordsThenStops();
    void transmitTimeOutReleasesLinePtt();
    void levelsAndPttEcho();

private:
    QVector<Edge> timeline();
    QStringList lastRecords(int n);
    QByteArray hostExchange(const QByteArray &out, int expected);

    SimProcess m_sim;
    std::unique_ptr<VSerial> m_winkeyDev;
    std::unique_ptr<VSerial> m_pttDev;
    std::unique_ptr<WinKey> m_winKey;
    std::unique_ptr<CwThread> m_cw;
    VSPortClient m_host;
    VSPortClient m_app;
};

void TestKeyingE2e::initTestCase()
{
    QVERIFY2(m_sim.start(), qPrintable(m_sim.lastError()));
    m_winkeyDev.reset(new VSerial);
    m_pttDev.reset(new VSerial);
    QVERIFY(m_winkeyDev->createPort(QStringLiteral("COM21")));
    QVERIFY(m_pttDev->createPort(QStringLiteral("COM22")));
    QVERIFY(m_winkeyDev->open(QIODevice::ReadWrite));
    QVERIFY(m_pttDev->open(QIODevice::ReadWrite));
    m_winKey.reset(new WinKey);
    m_winKey->setPort(m_winkeyDev.get());
    m_cw.reset(new CwThread);
    m_cw->setDestination(QHostAddress::LocalHost, m_sim.keyingPort());
    QVERIFY(m_host.open(QStringLiteral("COM21")));
    QVERIFY(m_host.setLine(1200, 8, 0, 2));
    QVERIFY(m_app.open(QStringLiteral("COM22")));
}

void TestKeyingE2e::cleanupTestCase()
{
    if (m_cw)
        m_cw->stopKeying();
    if (m_winKey)
        m_winKey->stop();
    m_host.close();
    m_app.close();
    m_sim.stop();
}

QVector<Edge> TestKeyingE2e::timeline()
{
    static const QRegularExpression re(QStringLiteral("t=(-?\\d+) clock=-?\\d+ key=(\\d) ptt=(\\d)"));
    QVector<Edge> edges;
    const QStringList lines = m_sim.command(QStringLiteral("keying timeline"));
    for (const QString &l : lines) {
        const QRegularExpressionMatch m = re.match(l);
        if (m.hasMatch())
            edges.append({ m.captured(1).toLongLong(), m.captured(2) == QLatin1String("1"),
                m.captured(3) == QLatin1String("1") });
    }
    return edges;
}

QStringList TestKeyingE2e::lastRecords(int n)
{
    QStringList samples;
    const QStringList lines = m_sim.command(QStringLiteral("keying records %1").arg(n));
    for (const QString &l : lines)
        samples << l.section(QStringLiteral("samples="), 1);
    return samples;
}

QByteArray TestKeyingE2e::hostExchange(const QByteArray &out, int expected)
{
    QByteArray in;
    m_host.write(out);
    (void)QTest::qWaitFor(
        [&] {
            in += m_host.read(64, 0);
            return in.size() >= expected;
        },
        10000);
    return in;
}

void TestKeyingE2e::winkeyHostProtocol()
{
    QCOMPARE(hostExchange(QByteArray("\x00\x02", 2), 1), QByteArray("\x0a"));
    QCOMPARE(hostExchange(QByteArray("\x15"), 1), QByteArray("\xc0"));
    QCOMPARE(hostExchange(QByteArray("\x00\x05", 2), 1), QByteArray("\x80"));
    QCOMPARE(hostExchange(QByteArray("\x07"), 1), QByteArray("\x8a"));
    QCOMPARE(hostExchange(QByteArray("\x00\x04\x55", 3), 1), QByteArray("\x55"));

    QCOMPARE(hostExchange(QByteArray("\x02\x14", 2) + "\x15", 1), QByteArray("\xc0"));
    QTest::ignoreMessage(QtWarningMsg, "Set WPM speed: wrong value (4)");
    QTest::ignoreMessage(QtWarningMsg, "Set WPM speed: wrong value (100)");
    QCOMPARE(hostExchange(QByteArray("\x02\x04\x02\x64\x15", 5), 1), QByteArray("\xc0"));
    QCOMPARE(m_winKey->parameters()[WinKeyDecoder::Speed], quint8(20));

    // 25 characters waiting while the keyer is not running.
    QCOMPARE(hostExchange(QByteArray(25, 'E') + "\x15", 1), QByteArray("\xc1"));
    QCOMPARE(hostExchange(QByteArray("\x0a\x15"), 1), QByteArray("\xc0"));
    QVERIFY(m_winKey->takeActivity());
}

void TestKeyingE2e::winkeyTimeline_data()
{
    QTest::addColumn<int>("wpm");
    QTest::newRow("20 wpm") << 20;
    QTest::newRow("40 wpm") << 40;
}

void TestKeyingE2e::winkeyTimeline()
{
    QFETCH(int, wpm);
    const int dit = 1200 / wpm;
    const QByteArray text("PARIS CQ 5");
    QVERIFY(m_sim.run(QStringLiteral("keying clear")));
    m_cw->startKeying(m_pttDev.get(), m_winKey.get());
    m_cw->setPttSendState(true);
    m_winKey->start();

    // Neutral timing, PTT lead 100 ms and tail 50 ms.
    const QByteArray setup = QByteArray("\x02", 1) + char(wpm)
        + QByteArray("\x03\x32\x17\x32\x04\x0a\x05\x10\x00\x11\x00\x0d\x00\x0e\x00", 15);
    QCOMPARE(hostExchange(setup + "\x15", 1), QByteArray("\xc0"));
    // Both the engine and the sampler asleep: the text must wake them in time.
    QTRY_VERIFY_WITH_TIMEOUT(m_winKey->engineIdle() && m_cw->samplerIdle(), 10000);
    m_host.write(text);
    QTRY_VERIFY_WITH_TIMEOUT(m_winKey->isBusy(), 10000);
    QCOMPARE(hostExchange(QByteArray("\x15"), 1), QByteArray("\xc3"));

    const QVector<qint64> ideal = idealKeyEdges(text, dit);
    QVector<Edge> edges;
    QVector<Edge> keyEdges;
    QVERIFY(QTest::qWaitFor(
        [&] {
            edges = timeline();
            keyEdges.clear();
            bool key = false;
            for (const Edge &e : edges) {
                if (e.key != key) {
                    keyEdges << e;
                    key = e.key;
                }
            }
            return keyEdges.size() >= ideal.size() && !edges.last().ptt;
        },
        60000));
    QCOMPARE(keyEdges.size(), ideal.size());
    QCOMPARE(hostExchange(QByteArray("\x15"), 1), QByteArray("\xc0"));

    const qint64 t0 = keyEdges.first().t;
    qint64 worst = 0;
    for (int i = 0; i < ideal.size(); ++i)
        worst = qMax(worst, qAbs(keyEdges.at(i).t - t0 - ideal.at(i)));
    QVERIFY2(worst <= 1, qPrintable(QStringLiteral("worst edge error %1 ms").arg(worst)));

    // PTT: up 100 ms before the first key-down, down 50 ms after the last gap.
    QVERIFY(edges.first().ptt && !edges.first().key);
    QVERIFY(qAbs(t0 - edges.first().t - 100) <= 1);
    const qint64 lastUp = keyEdges.last().t;
    QVERIFY(qAbs(edges.last().t - (lastUp + 3 * dit + 50)) <= 1);

    m_winKey->stop();
    m_cw->stopKeying();
    QVERIFY(!m_cw->hasSampler());
}

void TestKeyingE2e::linesFromProgram()
{
    QVERIFY(m_sim.run(QStringLiteral("keying clear")));
    QSignalSpy rts(m_cw.get(), &CwThread::changedRTS);
    m_cw->startKeying(m_pttDev.get(), nullptr);
    m_cw->setPttSendState(true);

    const QList<QPair<QString, QString>> steps { { QStringLiteral("rts"),
                                                     QStringLiteral("55555555555555555555555555555555") },
        { QStringLiteral("dtr"), QStringLiteral("ffffffffffffffffffffffffffffffff") },
        { QStringLiteral("-rts"), QStringLiteral("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa") },
        { QStringLiteral("-dtr"), QStringLiteral("00000000000000000000000000000000") } };
    for (const auto &s : steps) {
        if (s.first == QLatin1String("rts"))
            QVERIFY(m_app.setRts(true));
        else if (s.first == QLatin1String("-rts"))
            QVERIFY(m_app.setRts(false));
        else if (s.first == QLatin1String("dtr"))
            QVERIFY(m_app.setDtr(true));
        else
            QVERIFY(m_app.setDtr(false));
        QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0) == s.second, 10000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(rts.count(), 2, 5000);
    QCOMPARE(rts.at(0).at(0).toBool(), true);
    QCOMPARE(rts.at(1).at(0).toBool(), false);
    QTRY_VERIFY_WITH_TIMEOUT(m_cw->takeCwActivity() == false, 5000);

    // Key a pattern by the program clock; each edge interval must match
    // what the program did, to the millisecond. It starts from the idle
    // sampler, so the first edge also proves the wake-up is in time.
    QTRY_VERIFY_WITH_TIMEOUT(m_cw->samplerIdle(), 10000);
    QVERIFY(m_sim.run(QStringLiteral("keying clear")));
    const int holds[] = { 30, 50, 20, 70, 40 };
    QVector<QPair<qint32, qint32>> when; // clock before and after each toggle
    bool on = false;
    for (int i = 0; i <= 5; ++i) {
        on = !on;
        const qint32 before = PttCwSerial::programClock();
        QVERIFY(m_app.setDtr(on));
        const qint32 after = PttCwSerial::programClock();
        when.append({ before, after });
        if (i < 5) {
            const qint32 target = after + holds[i];
            QVERIFY(QTest::qWaitFor([&] { return PttCwSerial::programClock() >= target; }, 5000));
        }
    }
    QVERIFY(m_app.setDtr(false));
    QVector<Edge> keyEdges;
    QVERIFY(QTest::qWaitFor(
        [&] {
            keyEdges.clear();
            bool key = false;
            for (const Edge &e : timeline()) {
                if (e.key != key) {
                    keyEdges << e;
                    key = e.key;
                }
            }
            return keyEdges.size() >= 6;
        },
        10000));
    QCOMPARE(keyEdges.size(), 6);
    for (int i = 0; i + 1 < 6; ++i) {
        const qint64 got = keyEdges.at(i + 1).t - keyEdges.at(i).t;
        const qint64 lo = when.at(i + 1).first - when.at(i).second - 1;
        const qint64 hi = when.at(i + 1).second - when.at(i).first + 1;
        QVERIFY2(got >= lo && got <= hi,
            qPrintable(
                QStringLiteral("interval %1: %2 ms, expected %3..%4").arg(i).arg(got).arg(lo).arg(hi)));
    }
    QVERIFY(m_cw->takeCwActivity());
    m_cw->stopKeying();
}

void TestKeyingE2e::forcedPtt()
{
    QVERIFY(m_sim.run(QStringLiteral("keying clear")));
    QSignalSpy rts(m_cw.get(), &CwThread::changedRTS);
    m_cw->startKeying(m_pttDev.get(), nullptr);
    m_cw->setPttSendState(true);
    m_cw->setPttState(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0) == QString(32, QLatin1Char('5')), 10000);
    // RTS going up and down under a forced PTT is neither reported nor seen.
    QVERIFY(m_app.setRts(true));
    QVERIFY(m_app.setDtr(true));
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0) == QString(32, QLatin1Char('f')), 10000);
    QVERIFY(m_app.setRts(false));
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(2).value(0) == QString(32, QLatin1Char('f'))
            && lastRecords(2).value(1) == QString(32, QLatin1Char('f')),
        10000);
    QVERIFY(m_app.setDtr(false));
    QCOMPARE(rts.count(), 0);
    m_cw->setPttState(false);
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0) == QString(32, QLatin1Char('0')), 10000);
    m_cw->stopKeying();
}

void TestKeyingE2e::sendingDisabled()
{
    QVERIFY(m_sim.run(QStringLiteral("keying clear")));
    const int before = m_sim.statusValue(QStringLiteral("keying"));
    // Records of the previous sampler still queued for us.
    QCoreApplication::processEvents();
    // Not permitted (the earlier tests left sending on for later samplers).
    m_cw->setPttSendState(false);
    QSignalSpy filled(m_cw.get(), &CwThread::packetFilled);
    m_cw->startKeying(m_pttDev.get(), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(filled.count() >= 8, 10000);
    QCOMPARE(m_sim.statusValue(QStringLiteral("keying")), before);
    QCOMPARE(KeyingRecord::sequenceOf(filled.at(0).at(0).toByteArray()), 0u);
    QCOMPARE(KeyingRecord::sequenceOf(filled.at(6).at(0).toByteArray()), 3u);

    m_cw->setPttSendState(true);
    QStringList recs;
    QTRY_VERIFY_WITH_TIMEOUT(!(recs = m_sim.command(QStringLiteral("keying records 1"))).isEmpty(), 10000);
    QVERIFY(m_sim.statusValue(QStringLiteral("keying")) > before);
    const int seq = recs.first().section(QStringLiteral("seq="), 1).section(QLatin1Char(' '), 0, 0).toInt();
    QVERIFY2(seq >= 3, qPrintable(recs.first()));

    // Stopping a stopped thread returns at once.
    m_cw->stopKeying();
    m_cw->stopKeying();
}

void TestKeyingE2e::restartKeepsPermissionAndForcedPtt()
{
    // A settings apply restarts the sampler: it must key on as before.
    m_cw->startKeying(m_pttDev.get(), nullptr);
    m_cw->setPttSendState(true);
    m_cw->setPttState(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0) == QString(32, QLatin1Char('5')), 10000);
    m_cw->stopKeying();
    QVERIFY(m_sim.run(QStringLiteral("keying clear")));
    m_cw->startKeying(m_pttDev.get(), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0) == QString(32, QLatin1Char('5')), 10000);
    m_cw->setPttState(false);
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0) == QString(32, QLatin1Char('0')), 10000);
    m_cw->stopKeying();
}

void TestKeyingE2e::withdrawalSendsReleasedRecordsThenStops()
{
    m_cw->startKeying(m_pttDev.get(), nullptr);
    m_cw->setPttSendState(true);
    m_cw->setPttState(true);
    QVERIFY(m_app.setDtr(true));
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0) == QString(32, QLatin1Char('f')), 10000);

    // Permission withdrawn while keyed: the box hears key and PTT go off,
    // then nothing more.
    m_cw->setPttSendState(false);
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0).endsWith(QLatin1String("00")), 10000);
    QVector<Edge> edges = timeline();
    QVERIFY(!edges.isEmpty());
    QVERIFY(!edges.last().key && !edges.last().ptt);
    // The last few records are on their way (at most three, 200 ms); then
    // a sampler still sending would add 15 records a second.
    QTest::qWait(500);
    const int count = m_sim.statusValue(QStringLiteral("keying"));
    QTest::qWait(1000);
    QCOMPARE(m_sim.statusValue(QStringLiteral("keying")), count);
    // The record cut short by the withdrawal is followed by two whole ones
    // that say so (each sent twice), in case some are lost on the way.
    const QStringList tail = lastRecords(8);
    int released = 0;
    for (auto it = tail.crbegin(); it != tail.crend() && *it == QString(32, QLatin1Char('0')); ++it)
        ++released;
    QVERIFY(m_app.setDtr(false));
    QVERIFY2(released >= 2, qPrintable(tail.join(QLatin1Char(' '))));
    m_cw->setPttState(false);
    m_cw->stopKeying();
}

void TestKeyingE2e::transmitTimeOutReleasesLinePtt()
{
    QVERIFY(m_sim.run(QStringLiteral("keying clear")));
    QSignalSpy timedOut(m_cw.get(), &CwThread::pttTimedOut);
    QSignalSpy rts(m_cw.get(), &CwThread::changedRTS);
    m_cw->setTxTimeout(300);
    m_cw->startKeying(m_pttDev.get(), nullptr);
    m_cw->setPttSendState(true);

    QVERIFY(m_app.setRts(true));
    QTRY_COMPARE_WITH_TIMEOUT(timedOut.count(), 1, 10000);
    QCOMPARE(timedOut.at(0).at(0).toInt(), int(PttCwSerial::PttLine));
    // Released after the time-out, not before, while the line stays up.
    QTRY_VERIFY2_WITH_TIMEOUT(lastRecords(1).value(0) == QString(32, QLatin1Char('0')),
        qPrintable(lastRecords(3).join(QLatin1Char(' '))), 10000);
    QVector<Edge> pttEdges;
    bool ptt = false;
    for (const Edge &e : timeline()) {
        if (e.ptt != ptt) {
            pttEdges << e;
            ptt = e.ptt;
        }
    }
    QCOMPARE(pttEdges.size(), 2);
    const qint64 held = pttEdges.at(1).t - pttEdges.at(0).t;
    QVERIFY2(held >= 299 && held <= 302, qPrintable(QString::number(held)));
    QTRY_COMPARE_WITH_TIMEOUT(rts.count(), 2, 5000);
    QCOMPARE(rts.at(1).at(0).toBool(), false);

    // Held on, it stays released; let go and pressed again, it keys again.
    QTest::qWait(400);
    QCOMPARE(timedOut.count(), 1);
    QCOMPARE(lastRecords(1).value(0), QString(32, QLatin1Char('0')));
    QVERIFY(m_app.setRts(false));
    QTest::qWait(50);
    QVERIFY(m_app.setRts(true));
    QTRY_VERIFY_WITH_TIMEOUT(lastRecords(1).value(0) == QString(32, QLatin1Char('5')), 10000);
    QVERIFY(m_app.setRts(false));
    m_cw->setTxTimeout(0);
    m_cw->stopKeying();
}

void TestKeyingE2e::levelsAndPttEcho()
{
    // The simulator's side of the control packets, straight on its TCP port.
    QTcpSocket sock;
    sock.connectToHost(QHostAddress::LocalHost, m_sim.tcpPort());
    QVERIFY(sock.waitForConnected(10000));
    auto frame = [](quint8 type, quint32 value, const QByteArray &payload) {
        QByteArray f(8, '\0');
        f[0] = char(type);
        for (int i = 0; i < 4; ++i)
            f[1 + i] = char(value >> (8 * i));
        f[5] = char(payload.size());
        f[6] = char(payload.size() >> 8);
        f += payload;
        quint8 crc = 0xFF;
        for (char c : f) {
            crc ^= quint8(c);
            for (int b = 0; b < 8; ++b)
                crc = (crc & 0x80) ? quint8((crc << 1) ^ 0x31) : quint8(crc << 1);
        }
        f[7] = char(crc);
        return f;
    };
    sock.write(frame(0, 0, QByteArray("brelko", 7)));
    sock.write(frame(2, 2, QByteArray("\x0a\x14\x15\x32", 4)));
    sock.write(frame(1, 1, QByteArray()));
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.statusValue(QStringLiteral("ptt")) == 1, 10000);
    const QString levels = m_sim.command(QStringLiteral("levels")).value(0);
    QVERIFY2(levels.contains(QLatin1String("txbuffer=10")) && levels.contains(QLatin1String("left=20"))
            && levels.contains(QLatin1String("right=21")) && levels.contains(QLatin1String("tx=50")),
        qPrintable(levels));
    QVERIFY(m_sim.run(QStringLiteral("levels 1 2 3")));
    QByteArray in;
    const QByteArray want = frame(2, 0, QByteArray("\x01\x02\x03", 3));
    QVERIFY(QTest::qWaitFor(
        [&] {
            in += sock.readAll();
            return in.contains(want);
        },
        10000));
    // The transmit state is echoed as payload byte 0.
    QVERIFY(in.contains(frame(1, 0, QByteArray(1, '\1'))));
}

QTEST_MAIN(TestKeyingE2e)
#include "tst_keying_e2e.moc"
