#include "client/Rtp/abstractrtp.h"
#include "client/Rtp/rtpclient.h"
#include "client/Rtp/rtpfixedjb.h"
#include "client/Rtp/rtpsendbuffer.h"
#include "client/Rtp/rtpserver.h"
#include "client/Rtp/rtpstatistics.h"
#include "client/Rtp/rtpthread.h"
#include "tests/client/audio/rtpaudiotestutil.h"

#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <sys/socket.h>

#include <thread>

using namespace morvex;

using namespace rtpaudiotest;

// The transport on real loopback sockets: a plain UDP socket plays the box.
class TestRtpTransport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void buffersNeedRunningThread();
    void writesBecomeDatagrams();
    void silenceWhileReceivingNewIdentityAfterSending();
    void sharedSocketAndBufferSizes();
    void receiveChecks_data();
    void receiveChecks();
    void newSourceResetsBothBuffers();
    void receivingOffDropsDatagrams();
    void strangersAndFloods();
    void formatSizes_data();
    void formatSizes();
    void sendBufferFifo();
    void sendBufferBound_data();
    void sendBufferBound();
    void burstOfWritesSignalsOnce();
    void staleBacklogIsDropped();
    void restartGivesNewObjects();

private:
    QList<QByteArray> takeDatagrams(int n, int timeoutMs = 10000);
    quint16 boxPort() const { return m_box->localPort(); }

    QUdpSocket *m_box = nullptr;
    QList<QByteArray> m_got;
};

void TestRtpTransport::init()
{
    m_box = new QUdpSocket(this);
    QVERIFY(m_box->bind(QHostAddress(QHostAddress::LocalHost), quint16(0)));
    m_got.clear();
    connect(m_box, &QUdpSocket::readyRead, this, [this] {
        while (m_box->hasPendingDatagrams())
            m_got.append(m_box->receiveDatagram().data());
    });
}

void TestRtpTransport::cleanup()
{
    delete m_box;
    m_box = nullptr;
    QCOMPARE(AbstractRtp::instances(), 0);
}

QList<QByteArray> TestRtpTransport::takeDatagrams(int n, int timeoutMs)
{
    // Missing datagrams come back empty, so the caller's checks fail on them.
    if (!QTest::qWaitFor([&] { return m_got.size() >= n; }, timeoutMs))
        qWarning() << "expected" << n << "datagrams, got" << m_got.size();
    QList<QByteArray> out = m_got.mid(0, n);
    m_got = m_got.mid(n);
    while (out.size() < n)
        out.append(QByteArray());
    return out;
}

void TestRtpTransport::buffersNeedRunningThread()
{
    RtpThread thread;
    QTest::ignoreMessage(QtWarningMsg, "RtpThread::outputBuffer(); Thread doesn't start");
    QVERIFY(!thread.outputBuffer());
    QTest::ignoreMessage(QtWarningMsg, "RtpThread::inputBuffer(); Thread doesn't start");
    QVERIFY(!thread.inputBuffer());
    QTest::ignoreMessage(QtWarningMsg, "RtpThread::outputVirtualBuffer(); Thread doesn't start");
    QVERIFY(!thread.outputVirtualBuffer());
    QVERIFY(!thread.stop());

    thread.startStream(QStringLiteral("127.0.0.1"), boxPort(), 12000);
    QVERIFY(thread.outputBuffer());
    QVERIFY(thread.outputVirtualBuffer());
    QVERIFY(thread.inputBuffer());
    QVERIFY(thread.outputBuffer() != thread.outputVirtualBuffer());
    QVERIFY(thread.stop());
    QTest::ignoreMessage(QtWarningMsg, "RtpThread::outputBuffer(); Thread doesn't start");
    QVERIFY(!thread.outputBuffer());
}

void TestRtpTransport::writesBecomeDatagrams()
{
    RtpThread thread;
    thread.startStream(QStringLiteral("127.0.0.1"), boxPort(), 12000);
    thread.setTransmitMode(true);
    QIODevice *in = thread.inputBuffer();
    QVERIFY(in);

    // Less than one payload: nothing goes out yet, the bytes wait.
    QByteArray head(100, '\x11');
    QCOMPARE(in->write(head), qint64(100));

    QByteArray audio(2400, '\0');
    for (int i = 0; i < audio.size(); ++i)
        audio[i] = char(i % 251);
    QCOMPARE(in->write(audio), qint64(2400));
    const QList<QByteArray> five = takeDatagrams(5);
    const QByteArray stream = head + audio;
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(five[i].size(), 16 + 480);
        const Header h = header(five[i]);
        QCOMPARE(int(h.first), 0x80);
        QCOMPARE(int(uchar(five[i][1])), 0);
        QCOMPARE(five[i].mid(12, 4), QByteArray(4, '\0'));
        QCOMPARE(h.ssrc, header(five[0]).ssrc);
        QCOMPARE(h.seq, quint16(header(five[0]).seq + i));
        QCOMPARE(h.ts, header(five[0]).ts + quint32(20 * i));
        QCOMPARE(five[i].mid(16), stream.mid(480 * i, 480));
    }

    // The 100 bytes left over lead the next datagram; no sixth one came
    // before it.
    QCOMPARE(in->write(QByteArray(480, '\x22')), qint64(480));
    const QByteArray sixth = takeDatagrams(1).first();
    QCOMPARE(header(sixth).seq, quint16(header(five[0]).seq + 5));
    QCOMPARE(sixth.mid(16), stream.mid(2400, 100) + QByteArray(380, '\x22'));
    QVERIFY(m_got.isEmpty());
}

void TestRtpTransport::silenceWhileReceivingNewIdentityAfterSending()
{
    RtpThread thread;
    thread.startStream(QStringLiteral("127.0.0.1"), boxPort(), 12000);
    QIODevice *in = thread.inputBuffer();
    QVERIFY(in);
    const QByteArray loud(480, '\x55');

    // Receive mode: the datagrams flow with silence.
    in->write(loud + loud);
    const QList<QByteArray> idle = takeDatagrams(2);
    QCOMPARE(idle[0].mid(16), QByteArray(480, '\0'));
    QCOMPARE(idle[1].mid(16), QByteArray(480, '\0'));
    const Header first = header(idle[0]);
    QCOMPARE(header(idle[1]).seq, quint16(first.seq + 1));
    // The identity at construction comes from one random draw.
    QCOMPARE(quint32(first.seq), first.ssrc % 65536);
    QCOMPARE(first.ts, first.ssrc);

    // The mode change and the write reach the streaming thread in order.
    thread.setTransmitMode(true);
    in->write(loud);
    const QByteArray talk = takeDatagrams(1).first();
    QCOMPARE(talk.mid(16), loud);
    QCOMPARE(header(talk).ssrc, first.ssrc);
    QCOMPARE(header(talk).seq, quint16(first.seq + 2));
    QCOMPARE(header(talk).ts, first.ts + 40);

    // Audio still queued when sending stops is dropped. The sender takes
    // whatever waits when it runs, so new audio follows once the stop has
    // emptied the buffer.
    in->write(QByteArray(100, '\x66'));
    thread.setTransmitMode(false);
    QTRY_COMPARE(in->bytesAvailable(), qint64(0));
    in->write(loud + loud);
    const QList<QByteArray> after = takeDatagrams(2);
    const Header a0 = header(after[0]);
    QVERIFY(a0.ssrc != first.ssrc);
    QCOMPARE(quint32(a0.seq), a0.ssrc % 65536);
    QCOMPARE(a0.ts, a0.ssrc);
    QCOMPARE(after[0].mid(16), QByteArray(480, '\0'));
    QCOMPARE(header(after[1]).seq, quint16(a0.seq + 1));
    QCOMPARE(header(after[1]).ts, a0.ts + 20);
    QCOMPARE(header(after[1]).ssrc, a0.ssrc);
    QCOMPARE(thread.inputBuffer()->bytesAvailable(), qint64(0));
}

void TestRtpTransport::sharedSocketAndBufferSizes()
{
    RtpThread thread;
    thread.startStream(QStringLiteral("127.0.0.1"), boxPort(), 12000);
    QVERIFY(thread.localPort() != 0);
    QCOMPARE(AbstractRtp::instances(), 2);
    int rcv = 0;
    socklen_t len = sizeof rcv;
    QVERIFY(
        ::getsockopt(int(AbstractRtp::socket()->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &rcv, &len) == 0);
    // Linux doubles the size asked for to make room for its bookkeeping.
    QVERIFY2(rcv >= AbstractRtp::kSocketBufferSize, qPrintable(QString::number(rcv)));

    // Transmit leaves from the port the receiver listens on.
    m_box->disconnect(this);
    thread.inputBuffer()->write(QByteArray(480, '\0'));
    QTRY_VERIFY_WITH_TIMEOUT(m_box->hasPendingDatagrams(), 10000);
    const QNetworkDatagram d = m_box->receiveDatagram();
    QCOMPARE(quint16(d.senderPort()), thread.localPort());
    thread.stop();
    QCOMPARE(AbstractRtp::instances(), 0);
    QCOMPARE(AbstractRtp::localPort(), quint16(0));
    QCOMPARE(thread.localPort(), quint16(0));
}

void TestRtpTransport::receiveChecks_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("verdict");
    const QByteArray good = datagram(0x1234, 10, 1000);
    QTest::newRow("header only") << good.left(16) << int(RtpServer::Rejected);
    QTest::newRow("17 bytes") << good.left(17) << int(RtpServer::Queued);
    QTest::newRow("version 1") << datagram(0x1234, 10, 1000, 960, 1, 0x40) << int(RtpServer::Rejected);
    QTest::newRow("version 3") << datagram(0x1234, 10, 1000, 960, 1, 0xC0) << int(RtpServer::Rejected);
    QTest::newRow("version 0") << datagram(0x1234, 10, 1000, 960, 1, 0x00) << int(RtpServer::Rejected);
    QTest::newRow("other bits set") << datagram(0x1234, 10, 1000, 960, 1, 0xBF) << int(RtpServer::Queued);
    QTest::newRow("ssrc zero") << datagram(0, 10, 1000) << int(RtpServer::NoSource);
    QTest::newRow("new ssrc") << datagram(0x9999, 10, 1000) << int(RtpServer::NewSource);
    QTest::newRow("empty") << QByteArray() << int(RtpServer::Rejected);
}

void TestRtpTransport::receiveChecks()
{
    QFETCH(QByteArray, data);
    QFETCH(int, verdict);
    RtpServer server;
    server.setFormat(12000, 20);
    const QByteArray first = datagram(0x1234, 9, 980);
    QCOMPARE(server.processDatagram(first.constData(), first.size()), RtpServer::NewSource);
    QCOMPARE(int(server.processDatagram(data.constData(), data.size())), verdict);
    const quint32 queued = verdict == RtpServer::Queued ? 1 : 0;
    QCOMPARE(server.outputBuffer()->statisticsCounter()->values().at(RtpStatistics::Received), queued);
    QCOMPARE(server.outputVirtualBuffer()->statisticsCounter()->values().at(RtpStatistics::Received), queued);
}

void TestRtpTransport::newSourceResetsBothBuffers()
{
    // Over the real socket: the box sends to the receiver's port.
    RtpServer server;
    server.setFormat(12000, 20);
    server.setBufferedTime(200);
    server.setDestination(QHostAddress::LocalHost, boxPort());
    const quint16 port = AbstractRtp::localPort();
    QVERIFY(port != 0);
    auto send = [&](const QByteArray &d) { m_box->writeDatagram(d, QHostAddress::LocalHost, port); };
    const RtpStatistics *mainStats = server.outputBuffer()->statisticsCounter();
    const RtpStatistics *virtStats = server.outputVirtualBuffer()->statisticsCounter();

    send(datagram(0xAAAA, 1, 1000));
    QTRY_COMPARE_WITH_TIMEOUT(server.ssrc(), quint32(0xAAAA), 10000);
    QCOMPARE(mainStats->values().at(RtpStatistics::TotalReceived), 0u);
    // The requested clear happens at the next read, as the playback
    // callback would do it.
    QByteArray frame(960, '\0');
    QCOMPARE(server.outputBuffer()->read(frame.data(), frame.size()), qint64(0));
    QCOMPARE(server.outputVirtualBuffer()->read(frame.data(), frame.size()), qint64(0));
    for (int i = 2; i <= 12; ++i)
        send(datagram(0xAAAA, quint16(i), quint32(1000 + 20 * i), 960, 3000));
    QTRY_COMPARE_WITH_TIMEOUT(mainStats->values().at(RtpStatistics::TotalReceived), 11u, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(virtStats->values().at(RtpStatistics::TotalReceived), 11u, 10000);

    // Playing: both buffers hand out the queued audio after the delay.
    bool heard = false;
    for (int i = 0; i < 20 && !heard; ++i) {
        QCOMPARE(server.outputBuffer()->read(frame.data(), frame.size()), qint64(960));
        heard = samples(frame).contains(3000);
    }
    QVERIFY(heard);

    // A new source: both buffers are cleared at their next read, the
    // announcing datagram is not counted, the next one is.
    send(datagram(0xBBBB, 500, 90000, 960, 7000));
    QTRY_COMPARE_WITH_TIMEOUT(server.ssrc(), quint32(0xBBBB), 10000);
    QCOMPARE(server.outputBuffer()->read(frame.data(), frame.size()), qint64(0));
    QCOMPARE(server.outputVirtualBuffer()->read(frame.data(), frame.size()), qint64(0));
    QCOMPARE(mainStats->values().at(RtpStatistics::Received), 0u);
    send(datagram(0xBBBB, 501, 90020, 960, 7000));
    QTRY_COMPARE_WITH_TIMEOUT(mainStats->values().at(RtpStatistics::Received), 1u, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(virtStats->values().at(RtpStatistics::Received), 1u, 10000);
    QCOMPARE(server.outputBuffer()->read(frame.data(), frame.size()), qint64(960));
}

void TestRtpTransport::receivingOffDropsDatagrams()
{
    RtpServer server;
    server.setFormat(12000, 20);
    server.setDestination(QHostAddress::LocalHost, boxPort());
    const quint16 port = AbstractRtp::localPort();
    const RtpStatistics *stats = server.outputBuffer()->statisticsCounter();
    m_box->writeDatagram(datagram(0xCC, 1, 100), QHostAddress::LocalHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(server.ssrc(), quint32(0xCC), 10000);

    server.setReceivingState(false);
    for (int i = 2; i < 50; ++i)
        m_box->writeDatagram(
            datagram(0xCC, quint16(i), quint32(100 + 20 * i)), QHostAddress::LocalHost, port);
    // A marker from a new source after the dropped ones: it, too, is dropped.
    m_box->writeDatagram(datagram(0xDD, 1, 100), QHostAddress::LocalHost, port);
    QTRY_VERIFY_WITH_TIMEOUT(!AbstractRtp::socket()->hasPendingDatagrams(), 10000);
    QTest::qWait(0);
    QCOMPARE(stats->values().at(RtpStatistics::TotalReceived), 0u);
    QCOMPARE(server.ssrc(), quint32(0xCC));

    server.setReceivingState(true);
    m_box->writeDatagram(datagram(0xCC, 60, 1300), QHostAddress::LocalHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(stats->values().at(RtpStatistics::TotalReceived), 1u, 10000);
}

void TestRtpTransport::strangersAndFloods()
{
    RtpServer server;
    server.setFormat(12000, 20);
    server.setDestination(QHostAddress::LocalHost, boxPort());
    const quint16 port = AbstractRtp::localPort();
    const RtpStatistics *stats = server.outputBuffer()->statisticsCounter();
    QByteArray frame(960, '\0');

    // Garbage from several ports and from another loopback address.
    QList<QUdpSocket *> strangers;
    for (const char *addr : { "127.0.0.1", "127.0.0.2", "127.0.0.3" }) {
        auto *s = new QUdpSocket(this);
        if (s->bind(QHostAddress(QString::fromLatin1(addr)), quint16(0)))
            strangers.append(s);
        else
            delete s;
    }
    QVERIFY(!strangers.isEmpty());
    QRandomGenerator rng(7);
    int sent = 0;
    for (int i = 0; i < 600; ++i) {
        QByteArray junk(int(rng.bounded(1, 1500)), '\0');
        for (char &c : junk)
            c = char(rng.bounded(256));
        // Never a valid version with a non-zero source: those are covered
        // below.
        junk[0] = char(junk[0] & 0x7F);
        strangers[i % strangers.size()]->writeDatagram(junk, QHostAddress::LocalHost, port);
        ++sent;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!AbstractRtp::socket()->hasPendingDatagrams(), 10000);
    QCOMPARE(stats->values().at(RtpStatistics::TotalReceived), 0u);
    QCOMPARE(server.ssrc(), 0u);

    // A burst far above 50 datagrams a second, some of them from the
    // strangers: the receiver keeps up and stays consistent.
    const int burst = 3000;
    m_box->writeDatagram(datagram(0x77, 0, 80), QHostAddress::LocalHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(server.ssrc(), 0x77u, 10000);
    QCOMPARE(server.outputBuffer()->read(frame.data(), frame.size()), qint64(0));
    for (int i = 0; i < burst; ++i) {
        QUdpSocket *from = i % 3 == 0 ? strangers.last() : m_box;
        from->writeDatagram(datagram(0x77, quint16(i), quint32(100 + 20 * i)), QHostAddress::LocalHost, port);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!AbstractRtp::socket()->hasPendingDatagrams(), 20000);
    const quint32 got = stats->values().at(RtpStatistics::TotalReceived);
    QVERIFY2(got > 0 && got < quint32(burst), qPrintable(QString::number(got)));
    QCOMPARE(server.ssrc(), 0x77u);
    QCOMPARE(server.outputBuffer()->read(frame.data(), frame.size()), qint64(960));
    qDeleteAll(strangers);
}

void TestRtpTransport::formatSizes_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("tx");
    QTest::addColumn<int>("rx");
    QTest::newRow("12000") << 12000 << 480 << 960;
    QTest::newRow("8000") << 8000 << 320 << 640;
    QTest::newRow("11025") << 11025 << 441 << 882;
    QTest::newRow("no rate") << 0 << 0 << 0;
    QTest::newRow("negative") << -5 << 0 << 0;
}

void TestRtpTransport::formatSizes()
{
    QFETCH(int, rate);
    QFETCH(int, tx);
    QFETCH(int, rx);
    QCOMPARE(RtpClient::payloadBytes(rate, 20), tx);
    QCOMPARE(RtpServer::frameBytes(rate, 20), rx);

    // A sender without a usable rate drops what it is given instead of
    // dividing by zero.
    if (tx == 0) {
        RtpClient client;
        client.setFormat(rate, 20);
        client.setDestination(QStringLiteral("127.0.0.1"), boxPort());
        client.sendBuffer()->write(QByteArray(960, '\1'));
        QTRY_COMPARE(client.sendBuffer()->bytesAvailable(), qint64(0));
        QVERIFY(m_got.isEmpty());
    }
}

void TestRtpTransport::sendBufferFifo()
{
    RtpSendBuffer buffer;
    QVERIFY(buffer.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QVERIFY(buffer.isSequential());
    QSignalSpy pending(&buffer, &RtpSendBuffer::audioPending);
    QCOMPARE(buffer.write("abc", 3), qint64(3));
    QCOMPARE(buffer.write("def", 3), qint64(3));
    // One signal until the reader takes the audio, then one again.
    QCOMPARE(pending.size(), 1);
    buffer.takePending();
    QCOMPARE(buffer.write("g", 1), qint64(1));
    QCOMPARE(pending.size(), 2);
    char out[4] = {};
    QCOMPARE(buffer.read(out, 4), qint64(4));
    QCOMPARE(QByteArray(out, 4), QByteArray("abcd"));
    QCOMPARE(buffer.bytesAvailable(), qint64(3));
    QVERIFY(buffer.reset());
    QCOMPARE(buffer.read(out, 4), qint64(0));
    // A reset is not a loss to the bound.
    QCOMPARE(buffer.droppedBytes(), qint64(0));
}

namespace {
// Bytes [from, from + n) of a stream with no short period.
QByteArray streamBytes(qint64 from, qint64 n)
{
    QByteArray out(int(n), '\0');
    for (qint64 i = 0; i < n; ++i)
        out[int(i)] = char(((from + i) * 7 + (from + i) / 251) % 256);
    return out;
}
} // namespace

void TestRtpTransport::sendBufferBound_data()
{
    // Writes of a stream, with a read of some bytes after the first write;
    // then what must be queued and what was dropped.
    QTest::addColumn<QVector<qint64>>("writes");
    QTest::addColumn<qint64>("readAfterFirst");
    QTest::addColumn<qint64>("dropped");
    constexpr qint64 max = RtpSendBuffer::kMaxFill;
    QTest::newRow("exactly full") << QVector<qint64> { max - 480, 480 } << qint64(0) << qint64(0);
    QTest::newRow("oldest dropped") << QVector<qint64> { max - 10, 300 } << qint64(0) << qint64(290);
    // The read moves the start, so the next write wraps round the ring.
    QTest::newRow("wraps after a read") << QVector<qint64> { max - 10, 300 } << qint64(100) << qint64(190);
    QTest::newRow("many small over the top") << QVector<qint64>(int(3 * max / 2400), 2400) << qint64(777)
                                             << qint64(3 * max / 2400 * 2400 - 777 - max);
    QTest::newRow("one write larger than the ring")
        << QVector<qint64> { 1000, max + 5000 } << qint64(0) << qint64(6000);
}

void TestRtpTransport::sendBufferBound()
{
    QFETCH(QVector<qint64>, writes);
    QFETCH(qint64, readAfterFirst);
    QFETCH(qint64, dropped);
    RtpSendBuffer buffer;
    QVERIFY(buffer.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    qint64 written = 0;
    for (int i = 0; i < writes.size(); ++i) {
        QCOMPARE(buffer.write(streamBytes(written, writes[i])), writes[i]);
        written += writes[i];
        if (i == 0 && readAfterFirst > 0) {
            QByteArray head(int(readAfterFirst), '\0');
            QCOMPARE(buffer.read(head.data(), readAfterFirst), readAfterFirst);
            QCOMPARE(head, streamBytes(0, readAfterFirst));
        }
    }
    QCOMPARE(buffer.droppedBytes(), dropped);
    const qint64 left = written - readAfterFirst - dropped;
    QVERIFY(left <= RtpSendBuffer::kMaxFill);
    QCOMPARE(buffer.bytesAvailable(), left);
    // The newest audio, in order, across the ring's end.
    QByteArray all(int(left) + 10, '\0');
    QCOMPARE(buffer.read(all.data(), all.size()), left);
    all.truncate(int(left));
    QVERIFY(all == streamBytes(written - left, left));
    QCOMPARE(buffer.bytesAvailable(), qint64(0));
}

void TestRtpTransport::burstOfWritesSignalsOnce()
{
    RtpClient client;
    client.setFormat(12000, 20);
    client.setDestination(QStringLiteral("127.0.0.1"), boxPort());
    client.setSendingState(true);
    RtpSendBuffer *buffer = client.sendBuffer();
    QSignalSpy pending(buffer, &RtpSendBuffer::audioPending);

    // A capture thread writes 100 small pieces before the sender runs:
    // one signal, and that one run sends every whole datagram.
    std::thread writer([buffer] {
        for (int i = 0; i < 100; ++i)
            buffer->write(streamBytes(i * 50, 50));
    });
    writer.join();
    QCOMPARE(pending.size(), 1);
    const QList<QByteArray> ten = takeDatagrams(10);
    QCOMPARE(buffer->bytesAvailable(), qint64(5000 - 4800));
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(header(ten[i]).seq, quint16(header(ten[0]).seq + i));
        QCOMPARE(header(ten[i]).ts, header(ten[0]).ts + quint32(20 * i));
        QCOMPARE(ten[i].mid(16), streamBytes(480 * i, 480));
    }
    // The rest waits for the next write, which signals again.
    buffer->write(streamBytes(5000, 280));
    QCOMPARE(pending.size(), 2);
    QCOMPARE(takeDatagrams(1).first().mid(16), streamBytes(4800, 480));
    QCOMPARE(buffer->droppedBytes(), qint64(0));
    QVERIFY(m_got.isEmpty());
}

void TestRtpTransport::staleBacklogIsDropped()
{
    RtpClient client;
    client.setFormat(12000, 20);
    client.setDestination(QStringLiteral("127.0.0.1"), boxPort());
    client.setSendingState(true);
    RtpSendBuffer *buffer = client.sendBuffer();

    // The sender was held up for 40 datagrams' worth: the newest half
    // second goes out, the older audio is dropped and counted.
    const int total = int(RtpClient::kMaxBacklog) + 15;
    buffer->write(streamBytes(0, 480 * total));
    const QList<QByteArray> sent = takeDatagrams(int(RtpClient::kMaxBacklog));
    QCOMPARE(sent.first().mid(16), streamBytes(480 * 15, 480));
    QCOMPARE(sent.last().mid(16), streamBytes(480 * (total - 1), 480));
    QCOMPARE(header(sent.last()).seq, quint16(header(sent.first()).seq + RtpClient::kMaxBacklog - 1));
    QCOMPARE(buffer->droppedBytes(), qint64(480 * 15));
    QCOMPARE(buffer->bytesAvailable(), qint64(0));
    QTest::qWait(100);
    QVERIFY(m_got.isEmpty());
}

void TestRtpTransport::restartGivesNewObjects()
{
    RtpThread thread;
    QSignalSpy stats(&thread, &RtpThread::statistics);
    thread.setBufferedTime(400);
    thread.startStream(QStringLiteral("127.0.0.1"), boxPort(), 12000);
    auto *jb = qobject_cast<RtpFixedJb *>(thread.outputBuffer());
    QVERIFY(jb);
    QTRY_COMPARE(jb->bufferedTime(), 400);
    thread.setBufferedTime(600);
    QTRY_COMPARE(jb->bufferedTime(), 600);

    // A second start stops the first stream; buffers are fetched again.
    thread.startStream(QStringLiteral("not an address"), boxPort(), 12000);
    QVERIFY(thread.isRunning());
    auto *jb2 = qobject_cast<RtpFixedJb *>(thread.outputBuffer());
    QVERIFY(jb2);
    QCOMPARE(jb2->bufferedTime(), 600);
    // A bad destination sends nothing and reports nothing.
    thread.inputBuffer()->write(QByteArray(960, '\0'));
    QTRY_COMPARE(thread.inputBuffer()->bytesAvailable(), qint64(0));
    QVERIFY(m_got.isEmpty());
    // The statistics of the main buffer reach the thread's signal.
    QTRY_VERIFY_WITH_TIMEOUT(!stats.isEmpty(), 15000);
    QCOMPARE(stats.first().first().value<QVector<quint32>>().size(), int(RtpStatistics::Count));
}

QTEST_MAIN(TestRtpTransport)
#include "tst_rtptransport.moc"
