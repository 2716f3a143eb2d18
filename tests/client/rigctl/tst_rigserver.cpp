#include "client/rigctl/rigserver.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace morvex;

// The server on loopback without a radio model, beside Hamlib's own
// rigctld and rigctl: what Hamlib's network client reads from us must be laid
// out as rigctld lays it out.
class TestRigServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dumpStateLikeRigctld();
    void pttFromHamlibClient();
    void answersInOrder();
    void restartAndPortInUse();

private:
    static quint16 freePort();
    static QList<QByteArray> dumpState(quint16 port, bool checkVfo);
    bool startServer(quint16 port);

    RigServer m_server;
    bool m_ptt = false;
    QList<bool> m_pttCalls;
    int m_refuse = 0;
};

namespace {
// Waits with the event loop running: the server answers from this thread.
QByteArray readLine(QTcpSocket &s, int ms = 10000)
{
    (void)QTest::qWaitFor([&] { return s.canReadLine(); }, ms);
    return s.canReadLine() ? s.readLine() : QByteArray();
}
} // namespace

void TestRigServer::initTestCase()
{
    if (QStandardPaths::findExecutable("rigctl").isEmpty()
        || QStandardPaths::findExecutable("rigctld").isEmpty())
        QSKIP("rigctl and rigctld (libhamlib-utils) are needed");
    m_server.setPttControl(
        [this](bool on) {
            m_pttCalls.append(on);
            if (on && m_refuse)
                return m_refuse;
            m_ptt = on;
            return 0;
        },
        [this] { return m_ptt; });
}

quint16 TestRigServer::freePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

bool TestRigServer::startServer(quint16 port)
{
    RigServer::Config c;
    c.enabled = true;
    c.port = port;
    return m_server.start(c);
}

// Hamlib's network client asks \chk_vfo first and then reads a key=value
// tail up to "done"; older clients get the state without it.
QList<QByteArray> TestRigServer::dumpState(quint16 port, bool checkVfo)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(10000))
        return {};
    if (checkVfo) {
        s.write("\\chk_vfo\n");
        if (readLine(s) != "0\n")
            return {};
    }
    s.write("\\dump_state\n");
    QList<QByteArray> lines;
    while (lines.isEmpty() || lines.last() != "done") {
        QByteArray l = readLine(s, checkVfo ? 10000 : 1000);
        if (l.isEmpty())
            break;
        l.chop(1);
        lines.append(l);
    }
    return lines;
}

void TestRigServer::dumpStateLikeRigctld()
{
    const quint16 port = freePort();
    QVERIFY(startServer(port));
    // Hamlib's server with its dummy radio, whose ranges we describe too.
    const quint16 theirs = freePort();
    QProcess rigctld;
    rigctld.start("rigctld", { "-m", "1", "-T", "127.0.0.1", "-t", QString::number(theirs) });
    QVERIFY(rigctld.waitForStarted());
    // The older form first: rigctld keeps the tail for everyone once any
    // client has asked \chk_vfo.
    QList<QByteArray> expectedOld;
    QVERIFY(QTest::qWaitFor([&] { return !(expectedOld = dumpState(theirs, false)).isEmpty(); }, 10000));
    const QList<QByteArray> expected = dumpState(theirs, true);
    rigctld.kill();
    rigctld.waitForFinished();

    const QList<QByteArray> ours = dumpState(port, true);
    QVERIFY(!ours.isEmpty() && ours.last() == "done");
    // The older form: the same lines, ending after the masks.
    const QList<QByteArray> oursOld = dumpState(port, false);
    QCOMPARE(oursOld.size(), expectedOld.size());
    QCOMPARE(oursOld.mid(0, oursOld.size() - 6), expectedOld.mid(0, expectedOld.size() - 6));

    // Protocol, ranges, steps, filters, RIT/XIT/IF shift, announces, preamp
    // and attenuator lines are the same bytes; the six capability masks that
    // follow are ours (none without a radio).
    auto head = [](const QList<QByteArray> &l) {
        for (int i = 0; i < l.size(); ++i) {
            if (l.at(i).startsWith("vfo_ops="))
                return l.mid(0, i - 6);
        }
        return QList<QByteArray>();
    };
    QVERIFY2(!head(expected).isEmpty(), expected.join('\n').constData());
    QCOMPARE(head(ours), head(expected));
    auto keys = [](const QList<QByteArray> &l) {
        QList<QByteArray> k;
        for (const QByteArray &line : l) {
            if (line.contains('='))
                k.append(line.left(line.indexOf('=')));
        }
        return k;
    };
    // Every key Hamlib's client needs, in rigctld's order.
    const QList<QByteArray> ourKeys = keys(ours);
    const QList<QByteArray> needed = { "vfo_ops", "ptt_type", "targetable_vfo", "has_set_vfo", "has_get_vfo",
        "has_set_freq", "has_get_freq", "has_set_conf", "has_get_conf", "has_power2mW", "has_mW2power",
        "timeout", "rig_model", "rigctld_version" };
    QCOMPARE(ourKeys, needed);
    QCOMPARE(keys(expected).mid(0, needed.size()), needed);
    m_server.stop();
}

void TestRigServer::pttFromHamlibClient()
{
    const quint16 port = freePort();
    QVERIFY(startServer(port));
    m_pttCalls.clear();
    m_refuse = 0;

    QProcess rigctl;
    rigctl.setProcessChannelMode(QProcess::MergedChannels);
    rigctl.start("rigctl", { "-m", "2", "-r", QString("127.0.0.1:%1").arg(port) });
    QVERIFY(rigctl.waitForStarted());
    rigctl.write("T 1\nt\nf\n");
    QByteArray out;
    QVERIFY2(
        QTest::qWaitFor([&] { return (out += rigctl.readAll()).contains("Feature not available"); }, 10000),
        out.constData());
    QCOMPARE(m_pttCalls, QList<bool> { true });
    QVERIFY2(out.contains("PTT: 1"), out.constData());
    QVERIFY2(out.contains("Feature not available"), out.constData());
    QCOMPARE(m_server.clientCount(), 1);

    // Gone while holding PTT: released.
    rigctl.kill();
    rigctl.waitForFinished();
    QTRY_COMPARE_WITH_TIMEOUT(m_pttCalls, (QList<bool> { true, false }), 10000);
    QVERIFY(!m_ptt);
    QTRY_COMPARE(m_server.clientCount(), 0);

    // Refused by the box's rules: the error reaches the client, nothing is held.
    m_refuse = RigProtocol::ERjcted;
    m_pttCalls.clear();
    QProcess once;
    once.setProcessChannelMode(QProcess::MergedChannels);
    once.start("rigctl", { "-m", "2", "-r", QString("127.0.0.1:%1").arg(port), "T", "1" });
    QVERIFY(QTest::qWaitFor([&] { return once.state() == QProcess::NotRunning; }, 10000));
    QVERIFY(once.readAll().contains("Command rejected"));
    QCOMPARE(m_pttCalls, QList<bool> { true });
    m_server.stop();
}

void TestRigServer::answersInOrder()
{
    const quint16 port = freePort();
    QVERIFY(startServer(port));
    m_refuse = 0;
    m_ptt = false;
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(s.waitForConnected(5000));
    // Radio questions go through the worker thread, PTT is answered at once:
    // the answers still come in the order asked.
    s.write("f\nT 1\n+t\n\\chk_vfo\nm\nT 0\nt\nq\n");
    QByteArray all;
    QTRY_VERIFY_WITH_TIMEOUT(
        (all += s.readAll()).endsWith("RPRT 0\n") && s.state() != QAbstractSocket::ConnectedState, 10000);
    QCOMPARE(all, QByteArray("RPRT -11\nRPRT 0\nget_ptt:\nPTT: 1\nRPRT 0\n0\nRPRT -11\nRPRT 0\n0\nRPRT 0\n"));
    m_server.stop();
}

void TestRigServer::restartAndPortInUse()
{
    const quint16 port = freePort();
    QVERIFY(startServer(port));
    QVERIFY(m_server.isListening());
    // A second server on the same port fails with a clear line, the first goes on.
    RigServer second;
    RigServer::Config c;
    c.enabled = true;
    c.port = port;
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(QString("Rig control: cannot listen on 127.0.0.1:%1: .+").arg(port)));
    QVERIFY(!second.start(c));
    QVERIFY(!second.isListening());
    QVERIFY(m_server.isListening());

    // Restarted on another port; disabled, nothing listens.
    const quint16 other = freePort();
    QVERIFY(startServer(other));
    QCOMPARE(m_server.serverPort(), other);
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, other);
    QVERIFY(s.waitForConnected(5000));
    s.write("\\chk_vfo\n");
    QCOMPARE(readLine(s), QByteArray("0\n"));
    m_server.start(RigServer::Config());
    QVERIFY(!m_server.isListening());
    QTRY_VERIFY(s.state() == QAbstractSocket::UnconnectedState);
}

QTEST_GUILESS_MAIN(TestRigServer)
#include "tst_rigserver.moc"
