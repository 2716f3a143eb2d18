#include "client/link/authorization.h"
#include "client/link/clientrif.h"
#include "client/link/errorspacket.h"
#include "client/link/fwversionpacket.h"
#include "client/link/packetmngr.h"
#include "tests/support/simprocess.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace morvex;

// The command connection against the simulated box over loopback TCP.
class TstClientRIF : public QObject
{
    Q_OBJECT

private slots:
    void loginIsFirstFrame_data();
    void loginIsFirstFrame();
    void oneLoginPerConnection();
    void cutFrameDoesNotSpillIntoNextConnection();
    void periodicBatchesAndSilentBox();
    void secondConnectCallDisconnects();
    void changedPortAbortsConnection();
    void refusedConnection();
    void nothingWithoutPortOrManager();
    void hostNames();
    void wrongPasswordAndSecondClient();
    void boxDropsSilentClient();
    void errorCodesPassThrough_data();
    void errorCodesPassThrough();
    void badInputFromBox();
};

namespace {
constexpr int kWait = 15000;

// Contributes one header-only frame of type 1 to every batch, as the
// transmit-state handler does, and counts resets.
class Probe final : public AbstractPacket
{
public:
    Probe()
        : AbstractPacket(1)
    {
    }
    QByteArray create(qint32 maxSize, qint32 *used) override
    {
        *used = 0;
        if (maxSize < kPacketHeaderSize)
            return QByteArray();
        *used = kPacketHeaderSize;
        return makeFrame(1, 0);
    }
    void addData(const QByteArray &) override { }
    void addData(const char *, int) override { }
    void setHeader(PacketHeader) override { }
    void reset() override { ++resets; }

    int resets = 0;
};

// What the station controller builds around the connection.
struct Client
{
    explicit Client(const QString &password = QStringLiteral("brelko"))
    {
        auth.setPassword(password);
        mngr.registerPacket(&auth);
        mngr.registerPacket(&errors);
        mngr.registerPacket(&probe);
        mngr.registerPacket(&fw);
        rif.setPacketManager(&mngr);
    }
    void connectTo(quint16 port)
    {
        rif.setServer(QStringLiteral("127.0.0.1"), port);
        rif.connectToServer();
    }

    PacketMngr mngr;
    Authorization auth { 0 };
    ErrorsPacket errors { 8 };
    Probe probe;
    FwVersionPacket fw { 10 };
    ClientRIF rif;
    QSignalSpy connected { &rif, &ClientRIF::connected };
    QSignalSpy disconnected { &rif, &ClientRIF::disconnected };
    QSignalSpy errorSpy { &errors, &ErrorsPacket::error };
    QSignalSpy versions { &fw, &FwVersionPacket::updateVersion };
};

int countType(const QList<SimProcess::Frame> &frames, int type)
{
    int n = 0;
    for (const SimProcess::Frame &f : frames)
        n += f.type == type ? 1 : 0;
    return n;
}

bool hasEvent(SimProcess &sim, int conn, const QString &what)
{
    const QString prefix = QStringLiteral("event conn=%1 ").arg(conn);
    for (const QString &e : sim.events()) {
        if (e.startsWith(prefix) && e.endsWith(what))
            return true;
    }
    return false;
}

quint16 closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
} // namespace

void TstClientRIF::loginIsFirstFrame_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("default") << QStringLiteral("brelko");
    QTest::newRow("empty") << QString();
    QTest::newRow("latin1") << QStringLiteral("caf\u00e9 \u00df");
}

void TstClientRIF::loginIsFirstFrame()
{
    QFETCH(QString, password);
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    QVERIFY(sim.run(QStringLiteral("password ") + password));

    Client c(password);
    c.connectTo(sim.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(c.connected.count(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("loggedin")), 1, kWait);

    const QList<SimProcess::Frame> frames = sim.frames(1);
    QVERIFY(!frames.isEmpty());
    const SimProcess::Frame &login = frames.first();
    QCOMPARE(login.type, 0);
    QCOMPARE(login.value, 0u);
    QVERIFY(login.checksumOk);
    QCOMPARE(login.length, password.size() + 1);
    QCOMPARE(login.payload, password.toLatin1() + QByteArray(1, '\0'));
    if (password.isEmpty())
        QCOMPARE(kPacketHeaderSize + login.length, 9);
    QCOMPARE(c.errorSpy.count(), 0);
    QVERIFY(c.rif.isConnected());
    // Small frames go out at once.
    QCOMPARE(c.rif.socket()->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
}

void TstClientRIF::oneLoginPerConnection()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Client c;
    c.connectTo(sim.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("loggedin")), 1, kWait);

    QVERIFY(sim.run(QStringLiteral("drop")));
    QTRY_COMPARE_WITH_TIMEOUT(c.disconnected.count(), 1, kWait);
    QCOMPARE(c.connected.count(), 1);
    QVERIFY(c.probe.resets >= 1);
    QVERIFY(!c.auth.isSent());

    c.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(c.connected.count(), 2, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("active")), 2, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("loggedin")), 1, kWait);
    // Let a periodic batch follow the first one.
    QTRY_VERIFY_WITH_TIMEOUT(countType(sim.frames(2), 1) >= 2, kWait);

    const QList<SimProcess::Frame> first = sim.frames(1);
    const QList<SimProcess::Frame> second = sim.frames(2);
    QCOMPARE(countType(first, 0), 1);
    QCOMPARE(countType(second, 0), 1);
    QCOMPARE(first.first().type, 0);
    QCOMPARE(second.first().type, 0);
    QCOMPARE(c.disconnected.count(), 1);
}

void TstClientRIF::cutFrameDoesNotSpillIntoNextConnection()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Client c;
    QSignalSpy versions(&c.fw, &FwVersionPacket::updateVersion);
    c.connectTo(sim.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(versions.count(), 1, kWait);

    // Half a frame, then the box goes away.
    QVERIFY(sim.run(QStringLiteral("silent on")));
    QVERIFY(sim.run(QStringLiteral("send 0a000000000c00")));
    QVERIFY(sim.run(QStringLiteral("drop")));
    QTRY_COMPARE_WITH_TIMEOUT(c.disconnected.count(), 1, kWait);
    QVERIFY(sim.run(QStringLiteral("silent off")));

    // The next connection's version frame is read as such.
    c.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(versions.count(), 2, kWait);
}

void TstClientRIF::periodicBatchesAndSilentBox()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Client c;
    c.connectTo(sim.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("loggedin")), 1, kWait);

    // Well past the 8 s keep-alive while the box reports regularly: every
    // received byte restarts it, so the link stays up.
    QTRY_VERIFY_WITH_TIMEOUT(countType(sim.frames(1), 1) >= 6, 40000);
    QVERIFY(c.rif.isConnected());
    QCOMPARE(c.disconnected.count(), 0);

    bool ok = false;
    const QStringList reply = sim.command(QStringLiteral("silent on"), &ok);
    QVERIFY(ok);
    const qint64 silentAt = reply.value(0).mid(2).toLongLong();
    const qint64 lastTx = reply.value(1).section(QLatin1Char('='), 1).toLongLong();
    QVERIFY2(lastTx > 0 && lastTx <= silentAt, qPrintable(reply.join(QLatin1Char(' '))));

    QTRY_COMPARE_WITH_TIMEOUT(c.disconnected.count(), 1, 30000);
    // The client gives up 8 s after the box's last bytes, in the simulator's
    // own clock: not early, and not much later.
    QTRY_VERIFY_WITH_TIMEOUT(hasEvent(sim, 1, QStringLiteral("closed")), kWait);
    const QList<qint64> closedAt = sim.eventTimes(QStringLiteral("closed"));
    QVERIFY(!closedAt.isEmpty());
    const qint64 waited = closedAt.first() - lastTx;
    QVERIFY2(waited >= 7500 && waited <= 9500,
        qPrintable(QStringLiteral("dropped %1 ms after the last bytes").arg(waited)));
    QCOMPARE(c.connected.count(), 1);
    QVERIFY(!c.rif.isConnected());

    // The client kept sending while the box was silent, never more than
    // one interval (plus slack) apart.
    QList<qint64> times;
    for (const SimProcess::Frame &f : sim.frames(1)) {
        if (f.type == 1)
            times << f.ms;
    }
    int afterSilence = 0;
    for (int i = 0; i < times.size(); ++i) {
        if (times.at(i) > silentAt)
            ++afterSilence;
        if (i > 0)
            QVERIFY2(times.at(i) - times.at(i - 1) <= 3500,
                qPrintable(QStringLiteral("gap %1 ms").arg(times.at(i) - times.at(i - 1))));
    }
    QVERIFY2(afterSilence >= 3, qPrintable(QString::number(afterSilence)));
}

void TstClientRIF::secondConnectCallDisconnects()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Client c;
    c.connectTo(sim.tcpPort());
    QVERIFY(c.rif.state() != QAbstractSocket::UnconnectedState);
    c.rif.connectToServer();

    QTRY_COMPARE_WITH_TIMEOUT(c.disconnected.count(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(c.rif.state(), QAbstractSocket::UnconnectedState, kWait);
    // Whatever reached the box is gone again, and it was only one connection.
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("active")), 0, kWait);
    QVERIFY(sim.statusValue(QStringLiteral("connections")) <= 1);
    QVERIFY(c.connected.count() <= 1);
    QCOMPARE(c.disconnected.count(), 1);
}

void TstClientRIF::changedPortAbortsConnection()
{
    SimProcess simA;
    SimProcess simB;
    QVERIFY2(simA.start(), qPrintable(simA.lastError()));
    QVERIFY2(simB.start(), qPrintable(simB.lastError()));
    Client c;
    c.connectTo(simA.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(simA.statusValue(QStringLiteral("loggedin")), 1, kWait);

    // The same pair again is no change.
    c.rif.setServer(QStringLiteral("127.0.0.1"), simA.tcpPort());
    QVERIFY(!c.rif.addressChanged());
    c.rif.setServer(QHostAddress(QHostAddress::LocalHost), simB.tcpPort());
    QVERIFY(c.rif.addressChanged());
    QVERIFY(c.rif.isConnected());

    c.rif.connectToServer();
    QCOMPARE(c.disconnected.count(), 1);
    QCOMPARE(c.rif.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!c.rif.addressChanged());
    QTRY_COMPARE_WITH_TIMEOUT(simA.statusValue(QStringLiteral("active")), 0, kWait);

    // The next call reaches the new address.
    c.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(c.connected.count(), 2, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(simB.statusValue(QStringLiteral("loggedin")), 1, kWait);
    QCOMPARE(c.rif.serverAddress(), QStringLiteral("127.0.0.1"));
    QCOMPARE(c.rif.serverPort(), simB.tcpPort());
    QCOMPARE(simA.statusValue(QStringLiteral("connections")), 1);
    QCOMPARE(c.disconnected.count(), 1);

    // An abort while still connecting also ends in one disconnected().
    c.rif.setServer(QStringLiteral("127.0.0.1"), simA.tcpPort());
    c.rif.connectToServer();
    QCOMPARE(c.disconnected.count(), 2);
    c.rif.connectToServer();
    QVERIFY(c.rif.state() != QAbstractSocket::UnconnectedState);
    c.rif.setServer(QStringLiteral("127.0.0.1"), simB.tcpPort());
    if (c.rif.state() != QAbstractSocket::ConnectedState) {
        c.rif.connectToServer();
        QCOMPARE(c.disconnected.count(), 3);
        QCOMPARE(c.rif.state(), QAbstractSocket::UnconnectedState);
    }
}

void TstClientRIF::refusedConnection()
{
    const quint16 port = closedPort();
    QVERIFY(port != 0);
    Client c;
    c.connectTo(port);
    QTRY_COMPARE_WITH_TIMEOUT(c.disconnected.count(), 1, kWait);
    QCOMPARE(c.connected.count(), 0);
    QCOMPARE(c.rif.lastError(), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(c.rif.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(c.probe.resets >= 1);

    // Each new attempt fails the same way, once.
    c.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(c.disconnected.count(), 2, kWait);
    QCOMPARE(c.connected.count(), 0);
}

void TstClientRIF::nothingWithoutPortOrManager()
{
    ClientRIF rif;
    QSignalSpy disconnected(&rif, &ClientRIF::disconnected);
    QTest::ignoreMessage(QtWarningMsg, "Server address and port don't set");
    rif.connectToServer();
    QCOMPARE(rif.state(), QAbstractSocket::UnconnectedState);

    rif.setServer(QStringLiteral("127.0.0.1"), 11000);
    QTest::ignoreMessage(QtWarningMsg, "PacketMngr doesn't register");
    rif.connectToServer();
    QCOMPARE(rif.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(disconnected.count(), 0);

    // Nothing to write on a closed socket.
    rif.sendPackets();
    QCOMPARE(rif.state(), QAbstractSocket::UnconnectedState);
}

void TstClientRIF::hostNames()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Client c;
    c.rif.setServer(QStringLiteral("localhost"), sim.tcpPort());
    QCOMPARE(c.rif.serverAddress(), QStringLiteral("localhost"));
    QVERIFY(c.rif.addressChanged());
    c.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("loggedin")), 1, kWait);
    QCOMPARE(c.connected.count(), 1);

    // The same name again is no change: a plain graceful disconnect.
    c.rif.setServer(QStringLiteral("localhost"), sim.tcpPort());
    QVERIFY(!c.rif.addressChanged());
    c.rif.setServer(QStringLiteral("127.0.0.1"), sim.tcpPort());
    QVERIFY(c.rif.addressChanged());
    c.rif.disconnectFromServer();
    QTRY_COMPARE_WITH_TIMEOUT(c.disconnected.count(), 1, kWait);

    // A name nobody knows fails like any other attempt, with the lookup error.
    c.rif.setServer(QStringLiteral("no-such-host.invalid"), sim.tcpPort());
    c.rif.connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(c.disconnected.count(), 2, 30000);
    QCOMPARE(c.rif.lastError(), QAbstractSocket::HostNotFoundError);
    QCOMPARE(c.connected.count(), 1);
}

void TstClientRIF::wrongPasswordAndSecondClient()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));

    Client wrong(QStringLiteral("nope"));
    wrong.connectTo(sim.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(wrong.disconnected.count(), 1, kWait);
    QCOMPARE(wrong.errorSpy.count(), 1);
    QCOMPARE(wrong.errorSpy.at(0).at(0).value<ErrorsPacket::ConnectionError>(), ErrorsPacket::WrongPassword);

    Client first;
    first.connectTo(sim.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("loggedin")), 1, kWait);

    Client second;
    second.connectTo(sim.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(second.disconnected.count(), 1, kWait);
    QCOMPARE(second.errorSpy.count(), 1);
    QCOMPARE(
        second.errorSpy.at(0).at(0).value<ErrorsPacket::ConnectionError>(), ErrorsPacket::MultipleConnection);

    // The first client is not disturbed.
    QVERIFY(first.rif.isConnected());
    QCOMPARE(first.errorSpy.count(), 0);
    QCOMPARE(first.disconnected.count(), 0);
}

void TstClientRIF::boxDropsSilentClient()
{
    SimProcess sim;
    QVERIFY2(
        sim.start({ QStringLiteral("--idle-timeout"), QStringLiteral("1500") }), qPrintable(sim.lastError()));
    // Only the log-in handler: after the first batch the client has nothing to say.
    PacketMngr mngr;
    Authorization auth(0);
    ErrorsPacket errors(8);
    auth.setPassword(QStringLiteral("brelko"));
    mngr.registerPacket(&auth);
    mngr.registerPacket(&errors);
    ClientRIF rif;
    rif.setPacketManager(&mngr);
    QSignalSpy errorSpy(&errors, &ErrorsPacket::error);
    QSignalSpy disconnected(&rif, &ClientRIF::disconnected);
    rif.setServer(QStringLiteral("127.0.0.1"), sim.tcpPort());
    rif.connectToServer();

    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, kWait);
    QCOMPARE(errorSpy.count(), 1);
    QCOMPARE(errorSpy.at(0).at(0).value<ErrorsPacket::ConnectionError>(), ErrorsPacket::Timeout);
    QVERIFY(!auth.isSent());
}

void TstClientRIF::errorCodesPassThrough_data()
{
    QTest::addColumn<quint32>("code");
    QTest::newRow("timeout") << quint32(ErrorsPacket::Timeout);
    QTest::newRow("unknown packet") << quint32(ErrorsPacket::UnknowPacket);
    QTest::newRow("code outside the table") << 77u;
    QTest::newRow("largest") << 0xFFFFFFFFu;
}

void TstClientRIF::errorCodesPassThrough()
{
    QFETCH(quint32, code);
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Client c;
    c.connectTo(sim.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(sim.statusValue(QStringLiteral("loggedin")), 1, kWait);

    QVERIFY(sim.run(QStringLiteral("error %1").arg(code)));
    QTRY_COMPARE_WITH_TIMEOUT(c.errorSpy.count(), 1, kWait);
    QCOMPARE(quint32(c.errorSpy.at(0).at(0).value<ErrorsPacket::ConnectionError>()), code);
    // An error frame alone ends nothing; the box drops the link itself.
    QVERIFY(c.rif.isConnected());
}

void TstClientRIF::badInputFromBox()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.lastError()));
    Client c;
    c.connectTo(sim.tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(c.versions.count(), 1, kWait);

    // Unknown types are dropped, the frame after them still counts.
    const QString unknown = QString::fromLatin1(
        makeFrame(7, 0, QByteArray("zz")).toHex() + makeFrame(200, 5).toHex() + makeFrame(8, 3).toHex());
    QVERIFY(sim.run(QStringLiteral("send ") + unknown));
    QTRY_COMPARE_WITH_TIMEOUT(c.errorSpy.count(), 1, kWait);
    QCOMPARE(quint32(c.errorSpy.at(0).at(0).value<ErrorsPacket::ConnectionError>()), 3u);

    // A version payload shorter than 12 bytes gives no version.
    QVERIFY(sim.run(QStringLiteral("frame 10 0 0100000001000000060000")));
    // A frame split over two writes is dispatched once, when complete.
    const QByteArray split = makeFrame(8, 4);
    QVERIFY(sim.run(QStringLiteral("send ") + QString::fromLatin1(split.left(3).toHex())));
    QVERIFY(sim.run(QStringLiteral("send ") + QString::fromLatin1(split.mid(3).toHex())));
    QTRY_COMPARE_WITH_TIMEOUT(c.errorSpy.count(), 2, kWait);
    QCOMPARE(quint32(c.errorSpy.at(1).at(0).value<ErrorsPacket::ConnectionError>()), 4u);
    QCOMPARE(c.versions.count(), 1);

    // A frame with a bad checksum is never dispatched, and what follows it
    // waits behind it; the link itself stays up.
    QByteArray bad = makeFrame(10, 0, QByteArray(12, '\0'));
    bad[7] = char(bad.at(7) ^ 0x01);
    QVERIFY(sim.run(QStringLiteral("send ") + QString::fromLatin1((bad + makeFrame(8, 2)).toHex())));
    // Later reports of the box arrive (and are held) while the client stays connected.
    const int framesBefore = sim.statusValue(QStringLiteral("frames"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.statusValue(QStringLiteral("frames")) >= framesBefore + 2, kWait);
    QVERIFY(c.rif.isConnected());
    QCOMPARE(c.errorSpy.count(), 2);
    QCOMPARE(c.versions.count(), 1);
    QVERIFY(c.mngr.buffered() > 0);

    // A header promising 65535 bytes, then the box goes away: no harm.
    QVERIFY(sim.run(QStringLiteral("send 0a0000000000ffff00")));
    QVERIFY(sim.run(QStringLiteral("drop reset")));
    QTRY_COMPARE_WITH_TIMEOUT(c.disconnected.count(), 1, kWait);
}

QTEST_GUILESS_MAIN(TstClientRIF)
#include "tst_clientrif.moc"
