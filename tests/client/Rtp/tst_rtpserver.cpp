#include "client/Rtp/abstractrtp.h"
#include "client/Rtp/rtpfixedjb.h"
#include "client/Rtp/rtpserver.h"
#include "client/Rtp/rtpstatistics.h"
#include "client/Rtp/rtpthread.h"
#include "tests/client/Rtp/rtptestutil.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

using namespace morvex;

using Stats = QVector<quint32>;

// Receive audio is taken from the box only: its address and its audio port.
// Real loopback sockets play the box and the strangers.
class TestRtpServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void senderRules_data();
    void senderRules();
    void overTheSocket_data();
    void overTheSocket();
    void strangerCannotResetPlayout();
    void threadTakesNewDestinationWhileRunning();

private:
    QUdpSocket *m_box = nullptr;
};

namespace {
constexpr quint32 kBoxSsrc = 0x1234;

quint32 stat(const RtpFixedJb *jb, int index)
{
    return jb->statisticsCounter()->values().at(index);
}
} // namespace

void TestRtpServer::init()
{
    m_box = new QUdpSocket(this);
    QVERIFY(m_box->bind(QHostAddress(QHostAddress::LocalHost), quint16(0)));
}

void TestRtpServer::cleanup()
{
    delete m_box;
    m_box = nullptr;
    QCOMPARE(AbstractRtp::instances(), 0);
}

void TestRtpServer::senderRules_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("fromPort");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("the box") << "127.0.0.1"
                             << "127.0.0.1" << 11000 << true;
    QTest::newRow("the box, mapped sender") << "127.0.0.1"
                                            << "::ffff:127.0.0.1" << 11000 << true;
    QTest::newRow("mapped box address") << "::ffff:127.0.0.1"
                                        << "127.0.0.1" << 11000 << true;
    QTest::newRow("IPv6 box") << "::1"
                              << "::1" << 11000 << true;
    QTest::newRow("another port") << "127.0.0.1"
                                  << "127.0.0.1" << 11001 << false;
    QTest::newRow("another address") << "127.0.0.1"
                                     << "127.0.0.2" << 11000 << false;
    QTest::newRow("another address, mapped") << "127.0.0.1"
                                             << "::ffff:127.0.0.2" << 11000 << false;
    QTest::newRow("IPv6 loopback for IPv4 box") << "127.0.0.1"
                                                << "::1" << 11000 << false;
    QTest::newRow("no box address") << ""
                                    << "127.0.0.1" << 11000 << false;
    QTest::newRow("no sender address") << "127.0.0.1"
                                       << "" << 11000 << false;
}

void TestRtpServer::senderRules()
{
    QFETCH(QString, box);
    QFETCH(QString, from);
    QFETCH(int, fromPort);
    QFETCH(bool, accepted);
    RtpServer server;
    server.setFormat(12000, 20);
    server.setDestination(QHostAddress(box), 11000);
    QCOMPARE(server.isFromBox(QHostAddress(from), quint16(fromPort)), accepted);

    // A stranger's datagram is dropped and counted before any other check,
    // even while receiving is off.
    const QByteArray d = makeDatagram(1, 100, 5, 960, 0xABCD);
    if (!accepted)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropping audio from"));
    QCOMPARE(server.processDatagram(d.constData(), d.size(), QHostAddress(from), quint16(fromPort)),
        accepted ? RtpServer::NewSource : RtpServer::Foreign);
    server.setReceivingState(false);
    QCOMPARE(server.processDatagram(d.constData(), d.size(), QHostAddress(from), quint16(fromPort)),
        accepted ? RtpServer::NotReceiving : RtpServer::Foreign);
    QCOMPARE(server.ssrc(), accepted ? 0xABCDu : 0u);
    QCOMPARE(stat(server.outputBuffer(), RtpStatistics::TotalForeign), accepted ? 0u : 2u);
    QCOMPARE(stat(server.outputVirtualBuffer(), RtpStatistics::TotalReceived), 0u);
}

void TestRtpServer::overTheSocket_data()
{
    QTest::addColumn<QString>("senderAddress");
    QTest::addColumn<bool>("boxPort");
    QTest::addColumn<bool>("haveDestination");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("the box") << "127.0.0.1" << true << true << true;
    QTest::newRow("another port") << "127.0.0.1" << false << true << false;
    QTest::newRow("another address, the box's port") << "127.0.0.2" << true << true << false;
    QTest::newRow("no destination") << "127.0.0.1" << true << false << false;
}

void TestRtpServer::overTheSocket()
{
    QFETCH(QString, senderAddress);
    QFETCH(bool, boxPort);
    QFETCH(bool, haveDestination);
    QFETCH(bool, accepted);
    QUdpSocket other;
    QUdpSocket *sender = m_box;
    if (senderAddress != QLatin1String("127.0.0.1") || !boxPort) {
        // The box's port on another address is free to bind.
        QVERIFY(other.bind(QHostAddress(senderAddress), boxPort ? m_box->localPort() : quint16(0)));
        sender = &other;
    }

    RtpServer server;
    server.setFormat(12000, 20);
    if (haveDestination)
        server.setDestination(QHostAddress::LocalHost, m_box->localPort());
    if (!accepted)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropping audio from"));
    const quint16 port = AbstractRtp::localPort();
    for (int i = 0; i < 6; ++i)
        sender->writeDatagram(makeDatagram(quint16(i), quint32(100 + 20 * i)), QHostAddress::LocalHost, port);

    // The socket is bound to Any: IPv4 senders are read as mapped addresses.
    const RtpFixedJb *jb = server.outputBuffer();
    QTRY_COMPARE_WITH_TIMEOUT(stat(jb, RtpStatistics::TotalReceived) + stat(jb, RtpStatistics::TotalForeign),
        accepted ? 5u : 6u, 10000);
    QCOMPARE(stat(jb, RtpStatistics::TotalForeign), accepted ? 0u : 6u);
    QCOMPARE(server.ssrc(), accepted ? kBoxSsrc : 0u);
}

void TestRtpServer::strangerCannotResetPlayout()
{
    RtpServer server;
    server.setFormat(12000, 20);
    server.setBufferedTime(200);
    server.setDestination(QHostAddress::LocalHost, m_box->localPort());
    QSignalSpy reports(&server, &RtpServer::statistics);
    const quint16 port = AbstractRtp::localPort();
    RtpFixedJb *main = server.outputBuffer();
    RtpFixedJb *virt = server.outputVirtualBuffer();
    QByteArray frame(960, '\0');

    quint16 seq = 0;
    auto fromBox = [&](int n) {
        for (int i = 0; i < n; ++i, ++seq)
            m_box->writeDatagram(makeDatagram(seq, 1000 + 20u * seq, 3000), QHostAddress::LocalHost, port);
    };
    fromBox(1);
    QTRY_COMPARE_WITH_TIMEOUT(server.ssrc(), kBoxSsrc, 10000);
    // The clear the new source asked for happens at the next read.
    QCOMPARE(main->read(frame.data(), frame.size()), qint64(0));
    QCOMPARE(virt->read(frame.data(), frame.size()), qint64(0));
    fromBox(12);
    QTRY_COMPARE_WITH_TIMEOUT(stat(main, RtpStatistics::TotalReceived), 12u, 10000);
    bool heard = false;
    for (int i = 0; i < 20 && !heard; ++i) {
        QCOMPARE(main->read(frame.data(), frame.size()), qint64(960));
        QCOMPARE(virt->read(frame.data(), frame.size()), qint64(960));
        heard = toSamples(frame).contains(3000);
    }
    QVERIFY(heard);

    // Another local program sends with a new source each time, between the
    // box's datagrams.
    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress(QHostAddress::LocalHost), quint16(0)));
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression("dropping audio from 127\\.0\\.0\\.1:\\d+, not the box"));
    for (quint32 i = 0; i < 10; ++i) {
        stranger.writeDatagram(
            makeDatagram(quint16(i), 500 + 20 * i, -7, 960, 0x5000 + i), QHostAddress::LocalHost, port);
        fromBox(1);
    }
    QTRY_COMPARE_WITH_TIMEOUT(stat(main, RtpStatistics::TotalForeign), 10u, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(stat(main, RtpStatistics::TotalReceived), 22u, 10000);

    // No reset: both buffers go on playing the box, nothing was cleared.
    QCOMPARE(server.ssrc(), kBoxSsrc);
    QCOMPARE(stat(main, RtpStatistics::Received), 22u);
    for (RtpFixedJb *jb : { main, virt }) {
        QCOMPARE(jb->read(frame.data(), frame.size()), qint64(960));
        QVERIFY(!toSamples(frame).contains(-7));
    }

    // The count travels at the end of the statistics report.
    main->statisticsCounter()->showStatistics();
    QVERIFY(!reports.isEmpty());
    const Stats report = reports.last().first().value<Stats>();
    QCOMPARE(report.size(), int(RtpStatistics::Count));
    QCOMPARE(report.at(RtpStatistics::TotalForeign), 10u);
    QCOMPARE(report.at(RtpStatistics::TotalReceived), 22u);
}

void TestRtpServer::threadTakesNewDestinationWhileRunning()
{
    // The stream starts toward an old address of the box (a stale look-up).
    QUdpSocket oldBox;
    QVERIFY(oldBox.bind(QHostAddress(QHostAddress::LocalHost), quint16(0)));
    RtpThread thread;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("dropping audio from"));
    thread.startStream(QStringLiteral("127.0.0.1"), oldBox.localPort(), 12000);
    auto *jb = qobject_cast<RtpFixedJb *>(thread.outputBuffer());
    QVERIFY(jb);
    QIODevice *in = thread.inputBuffer();
    const quint16 port = thread.localPort();

    quint16 seq = 0;
    auto fromBox = [&] {
        m_box->writeDatagram(makeDatagram(seq, 1000 + 20u * seq), QHostAddress::LocalHost, port);
        ++seq;
    };
    for (int i = 0; i < 3; ++i)
        fromBox();
    QTRY_COMPARE_WITH_TIMEOUT(stat(jb, RtpStatistics::TotalForeign), 3u, 10000);
    in->write(QByteArray(480, '\0'));
    QTRY_VERIFY_WITH_TIMEOUT(oldBox.hasPendingDatagrams(), 10000);

    // From this thread while the stream runs: both directions follow.
    thread.setDestination(QHostAddress::LocalHost, m_box->localPort());
    QVERIFY(QTest::qWaitFor(
        [&] {
            fromBox();
            return stat(jb, RtpStatistics::TotalReceived) > 0;
        },
        10000));
    while (m_box->hasPendingDatagrams())
        m_box->receiveDatagram();
    QVERIFY(QTest::qWaitFor(
        [&] {
            in->write(QByteArray(480, '\0'));
            return m_box->hasPendingDatagrams();
        },
        10000));

    // A restart with the address itself: the box is heard from the start.
    thread.startStream(QHostAddress(QHostAddress::LocalHost), m_box->localPort(), 12000);
    jb = qobject_cast<RtpFixedJb *>(thread.outputBuffer());
    QVERIFY(jb);
    const quint16 restartedPort = thread.localPort();
    QVERIFY(QTest::qWaitFor(
        [&] {
            m_box->writeDatagram(makeDatagram(seq, 1000 + 20u * seq), QHostAddress::LocalHost, restartedPort);
            ++seq;
            return stat(jb, RtpStatistics::TotalReceived) > 0;
        },
        10000));
    QCOMPARE(stat(jb, RtpStatistics::TotalForeign), 0u);
}

QTEST_MAIN(TestRtpServer)
#include "tst_rtpserver.moc"
