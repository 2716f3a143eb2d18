#include "client/Rtp/rtpfixedjb.h"
#include "client/Rtp/rtpstatistics.h"
#include "tests/client/Rtp/rtptestutil.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

using namespace morvex;

namespace {

constexpr int kFrame = 960;

// The buffers' steady clock: still unless a test moves it.
qint64 g_nowNs = 0;
qint64 fakeNow()
{
    return g_nowNs;
}

// A jitter buffer set up as the receiver does it: 12000 Hz stereo, 20 ms,
// opened unbuffered, with the read that performs the clear requested by
// setBuffered already done.
struct Stream
{
    explicit Stream(qint32 buffered = 200)
    {
        jb.setClock(&fakeNow);
        jb.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
        jb.setFormat(kFrame, 20);
        jb.setBuffered(buffered);
        QByteArray b(kFrame, 0);
        jb.read(b.data(), b.size());
    }

    qint64 send(quint32 ts, qint16 marker) { return jb.write(makeDatagram(seq++, ts, marker)); }

    // Last sample of one frame: the marker of a delivered frame, 0 for a
    // concealed one (the fade is over long before), -1 when nothing is played.
    int readMarker()
    {
        QByteArray b(kFrame, 0x11);
        const qint64 n = jb.read(b.data(), b.size());
        if (n == 0)
            return -1;
        last = toSamples(b);
        return last.last();
    }

    QVector<int> readMarkers(int n)
    {
        QVector<int> m;
        for (int i = 0; i < n; ++i)
            m.append(readMarker());
        return m;
    }

    quint32 stat(int index) const { return jb.statisticsCounter()->values().at(index); }

    RtpFixedJb jb;
    quint16 seq = 1;
    QVector<qint16> last;
};

QVector<int> markersWith(int size, std::initializer_list<std::pair<int, int>> at)
{
    QVector<int> m(size, 0);
    for (const auto &p : at)
        m[p.first] = p.second;
    return m;
}

} // namespace

class TestRtpFixedJb : public QObject
{
    Q_OBJECT

private slots:
    void readsBeforeAnyDatagram();
    void startUp_data();
    void startUp();
    void lateAndRealign_data();
    void lateAndRealign();
    void emptyListRebasesOnLateDatagram();
    void lossCounting_data();
    void lossCounting();
    void sixteenthLateRefusalClears();
    void acceptedDatagramEndsLateRun();
    void duplicatesNeitherLateNorReset();
    void overtakenFirstDatagram_data();
    void overtakenFirstDatagram();
    void startUpStallAbsorbed_data();
    void startUpStallAbsorbed();
    void losslessStreamPlaysAsSent();
    void lateFirstReadNotCarriedAsDelay_data();
    void lateFirstReadNotCarriedAsDelay();
    void resetClearsAtNextRead();
    void partialFrames();
    void timestampsAcrossSignedAndUnsignedLimits_data();
    void timestampsAcrossSignedAndUnsignedLimits();
    void rejectedDatagrams_data();
    void rejectedDatagrams();
    void largestDatagramAccepted();
    void lowTimestampCountedButNotQueued();
    void shortAndOddPayloads();
    void unusableFormatIgnored();
    void randomInput();
    void concurrentWriterAndReader();
};

void TestRtpFixedJb::readsBeforeAnyDatagram()
{
    Stream s;
    QCOMPARE(s.readMarker(), -1);
    QCOMPARE(s.readMarker(), -1);
    s.jb.reset();
    QCOMPARE(s.readMarker(), -1);
}

void TestRtpFixedJb::startUp_data()
{
    QTest::addColumn<qint32>("buffered");
    QTest::addColumn<quint32>("ts");
    QTest::addColumn<int>("concealed");

    QTest::newRow("200 ms") << 200 << 1000u << 10;
    QTest::newRow("200 ms, lowest timestamp taken") << 200 << 3u << 10;
    QTest::newRow("200 ms, timestamp above 2^31") << 200 << 0x80000010u << 10;
    QTest::newRow("200 ms, timestamp just below 2^32") << 200 << 0xFFFFFFF0u << 10;
    QTest::newRow("400 ms") << 400 << 1000u << 20;
    QTest::newRow("1000 ms") << 1000 << 1000u << 50;
    QTest::newRow("0 means 200") << 0 << 1000u << 10;
    QTest::newRow("negative means 200") << -20 << 1000u << 10;
}

void TestRtpFixedJb::startUp()
{
    QFETCH(qint32, buffered);
    QFETCH(quint32, ts);
    QFETCH(int, concealed);

    Stream s(buffered);
    QCOMPARE(s.jb.bufferedTime(), buffered);
    QCOMPARE(s.send(ts, 1234), qint64(kFrame + 16));
    for (int i = 0; i < concealed; ++i) {
        QCOMPARE(s.readMarker(), 0);
        // Nothing has been heard yet, so the concealment is silence.
        QVERIFY(std::all_of(s.last.cbegin(), s.last.cend(), [](qint16 v) { return v == 0; }));
    }
    QCOMPARE(s.readMarker(), 1234);
    QCOMPARE(s.readMarker(), 0);
}

void TestRtpFixedJb::lateAndRealign_data()
{
    QTest::addColumn<qint32>("buffered");
    QTest::addColumn<qint64>("step");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QVector<int>>("played");

    // Queued: timestamps T .. T+80 (markers 101..105); the resync threshold is
    // 1.5 x the buffering. A datagram with marker 199 then arrives at T + step.
    auto played = [](qint32 buffered, int slot199) {
        const int d = buffered / 20;
        QVector<int> m = markersWith(
            d + 55, { { d, 101 }, { d + 1, 102 }, { d + 2, 103 }, { d + 3, 104 }, { d + 4, 105 } });
        if (slot199 >= 0)
            m[d + slot199] = 199;
        return m;
    };
    QTest::newRow("duplicate") << 200 << qint64(40) << true << played(200, -1);
    QTest::newRow("overlapping") << 200 << qint64(50) << true << played(200, -1);
    QTest::newRow("step back below threshold") << 200 << qint64(-180) << true << played(200, -1);
    QTest::newRow("step back of the threshold realigns") << 200 << qint64(-200) << false << played(200, 5);
    QTest::newRow("forward jump queued as is") << 200 << qint64(200) << false << played(200, 10);
    QTest::newRow("forward jump up to delay + threshold") << 200 << qint64(500) << false << played(200, 25);
    QTest::newRow("forward jump beyond delay + threshold realigns")
        << 200 << qint64(520) << false << played(200, 5);
    QTest::newRow("400 ms: step back below 600") << 400 << qint64(-480) << true << played(400, -1);
    QTest::newRow("400 ms: step back of 600 realigns") << 400 << qint64(-500) << false << played(400, 5);
    QTest::newRow("400 ms: forward jump up to delay + threshold")
        << 400 << qint64(1000) << false << played(400, 50);
    QTest::newRow("400 ms: forward jump beyond realigns") << 400 << qint64(1020) << false << played(400, 5);
}

void TestRtpFixedJb::lateAndRealign()
{
    QFETCH(qint32, buffered);
    QFETCH(qint64, step);
    QFETCH(bool, refused);
    QFETCH(QVector<int>, played);

    const quint32 t = 100000;
    Stream s(buffered);
    for (int k = 0; k < 5; ++k)
        QCOMPARE(s.send(t + 20 * k, qint16(101 + k)), qint64(kFrame + 16));
    QCOMPARE(s.send(quint32(t + step), 199), qint64(kFrame + 16));

    QCOMPARE(s.stat(RtpStatistics::Late), refused ? 1u : 0u);
    QCOMPARE(s.stat(RtpStatistics::TotalLate), refused ? 1u : 0u);
    QCOMPARE(s.stat(RtpStatistics::Received), 6u);
    QCOMPARE(s.readMarkers(played.size()), played);
}

void TestRtpFixedJb::emptyListRebasesOnLateDatagram()
{
    const quint32 t = 5000;
    Stream s;
    s.send(t, 101);
    QCOMPARE(s.readMarkers(11), markersWith(11, { { 10, 101 } }));

    // Far behind the clock, but with nothing queued it restarts the playout.
    s.send(t, 150);
    QCOMPARE(s.stat(RtpStatistics::Late), 0u);
    QCOMPARE(s.readMarkers(12), markersWith(12, { { 10, 150 } }));
}

void TestRtpFixedJb::lossCounting_data()
{
    QTest::addColumn<QVector<int>>("seqs");
    QTest::addColumn<quint32>("lost");

    QTest::newRow("in order") << QVector<int> { 10, 11, 12 } << 0u;
    QTest::newRow("65535 then 0") << QVector<int> { 65534, 65535, 0, 1 } << 0u;
    QTest::newRow("10 then 13") << QVector<int> { 10, 13 } << 2u;
    QTest::newRow("overtaken datagram is no loss") << QVector<int> { 10, 13, 12 } << 1u;
    QTest::newRow("overtaken pair is no loss") << QVector<int> { 10, 13, 12, 11 } << 0u;
    QTest::newRow("one from before the first is no loss") << QVector<int> { 10, 9 } << 0u;
    QTest::newRow("duplicate") << QVector<int> { 10, 11, 11, 12 } << 0u;
    QTest::newRow("duplicate of the newest after a gap") << QVector<int> { 10, 13, 13 } << 2u;
    QTest::newRow("duplicates of overtaken ones") << QVector<int> { 10, 12, 11, 11, 12, 10, 13 } << 0u;
    QTest::newRow("duplicate across the wrap") << QVector<int> { 65535, 0, 65535, 0, 1 } << 0u;
    QTest::newRow("jump to 0 not counted") << QVector<int> { 100, 0 } << 0u;
    QTest::newRow("gap across the wrap") << QVector<int> { 65533, 1 } << 3u;
    QTest::newRow("first datagram never counts") << QVector<int> { 500 } << 0u;
}

void TestRtpFixedJb::lossCounting()
{
    QFETCH(QVector<int>, seqs);
    QFETCH(quint32, lost);

    Stream s;
    quint32 ts = 1000;
    for (int seq : qAsConst(seqs)) {
        s.jb.write(makeDatagram(quint16(seq), ts));
        ts += 20;
    }
    QCOMPARE(s.stat(RtpStatistics::Lost), lost);
    QCOMPARE(s.stat(RtpStatistics::TotalLost), lost);
    QCOMPARE(s.stat(RtpStatistics::Received), quint32(seqs.size()));
}

void TestRtpFixedJb::sixteenthLateRefusalClears()
{
    const quint32 t = 7000;
    Stream s;
    for (int k = 0; k < 5; ++k)
        s.send(t + 20 * k, qint16(101 + k));
    for (int i = 0; i < 15; ++i)
        QCOMPARE(s.send(t, 1), qint64(kFrame + 16));
    QCOMPARE(s.readMarker(), 0);
    QCOMPARE(s.stat(RtpStatistics::Late), 15u);

    QCOMPARE(s.send(t, 1), qint64(kFrame + 16));
    // The clear is due at this read: nothing plays, counters since reset restart.
    QCOMPARE(s.readMarker(), -1);
    QCOMPARE(s.stat(RtpStatistics::Late), 0u);
    QCOMPARE(s.stat(RtpStatistics::TotalLate), 16u);

    // Playout starts again from the next datagram.
    s.send(90000, 555);
    QCOMPARE(s.readMarkers(12), markersWith(12, { { 10, 555 } }));
}

void TestRtpFixedJb::acceptedDatagramEndsLateRun()
{
    const quint32 t = 7000;
    Stream s;
    for (int k = 0; k < 5; ++k)
        s.send(t + 20 * k, qint16(101 + k));
    for (int i = 0; i < 15; ++i)
        s.send(t, 1);
    s.send(t + 100, 106);
    for (int i = 0; i < 15; ++i)
        s.send(t, 1);
    QCOMPARE(s.stat(RtpStatistics::Late), 30u);
    // Thirty refusals, never sixteen in a row: the playout goes on.
    QCOMPARE(s.readMarkers(16),
        markersWith(16, { { 10, 101 }, { 11, 102 }, { 12, 103 }, { 13, 104 }, { 14, 105 }, { 15, 106 } }));
}

void TestRtpFixedJb::duplicatesNeitherLateNorReset()
{
    Stream s;
    QVector<int> played;
    const quint32 t = 3000;
    // Every datagram twice, the copy once at once and once a frame later.
    for (int k = 0; k < 40; ++k) {
        const QByteArray d = makeDatagram(quint16(500 + k), t + 20 * quint32(k), qint16(1000 + k));
        QCOMPARE(s.jb.write(d), qint64(d.size()));
        QCOMPARE(s.jb.write(d), qint64(d.size()));
        if (k > 0) {
            const QByteArray before
                = makeDatagram(quint16(500 + k - 1), t + 20 * quint32(k - 1), qint16(999 + k));
            QCOMPARE(s.jb.write(before), qint64(before.size()));
        }
        played.append(s.readMarker());
    }
    played += s.readMarkers(12);
    QVector<int> expected(10, 0);
    for (int k = 0; k < 40; ++k)
        expected.append(1000 + k);
    expected += QVector<int>(2, 0);
    QCOMPARE(played, expected);
    QCOMPARE(s.stat(RtpStatistics::Late), 0u);
    QCOMPARE(s.stat(RtpStatistics::Lost), 0u);
    QCOMPARE(s.stat(RtpStatistics::Received), 40u * 3 - 1);
}

void TestRtpFixedJb::overtakenFirstDatagram_data()
{
    QTest::addColumn<QVector<int>>("order");
    QTest::addColumn<int>("readsAfterFirst");
    QTest::addColumn<int>("silentReads");
    QTest::addColumn<int>("firstPlayed");
    QTest::addColumn<quint32>("late");

    // Frame k carries marker 100 + k; the reads start with the first datagram.
    QTest::newRow("one overtaken") << QVector<int> { 2, 1, 3, 4, 5, 6 } << 0 << 9 << 101 << 0u;
    QTest::newRow("two overtaken") << QVector<int> { 3, 1, 2, 4, 5, 6 } << 0 << 8 << 101 << 0u;
    QTest::newRow("second overtaken by one") << QVector<int> { 3, 2, 1, 4, 5, 6 } << 0 << 8 << 101 << 0u;
    // Its slot has been read by the time it comes: it is late.
    QTest::newRow("after its slot") << QVector<int> { 2, 1, 3, 4, 5, 6 } << 10 << 10 << 102 << 1u;
}

// The datagram playout starts from had overtaken its predecessors: they still
// play, in order, as long as their slots are to come.
void TestRtpFixedJb::overtakenFirstDatagram()
{
    QFETCH(QVector<int>, order);
    QFETCH(int, readsAfterFirst);
    QFETCH(int, silentReads);
    QFETCH(int, firstPlayed);
    QFETCH(quint32, late);

    Stream s;
    const quint32 t = 5000;
    auto send = [&](int k) { s.jb.write(makeDatagram(quint16(k), t + 20 * quint32(k), qint16(100 + k))); };
    send(order.first());
    QVector<int> markers = s.readMarkers(readsAfterFirst);
    for (int i = 1; i < order.size(); ++i)
        send(order.at(i));
    markers += s.readMarkers(16);

    int first = 0;
    while (first < markers.size() && markers.at(first) == 0)
        ++first;
    QCOMPARE(first, silentReads);
    QVector<int> expected;
    for (int m = firstPlayed; m <= 106; ++m)
        expected.append(m);
    QCOMPARE(markers.mid(first, expected.size()), expected);
    QCOMPARE(s.stat(RtpStatistics::TotalLate), late);
    QCOMPARE(s.stat(RtpStatistics::TotalLost), 0u);
}

void TestRtpFixedJb::startUpStallAbsorbed_data()
{
    QTest::addColumn<qint32>("buffered");
    QTest::addColumn<int>("queued");
    QTest::addColumn<int>("firstPlayed");

    // Up to the buffering + one frame + half the buffering is jitter and stays.
    QTest::newRow("200 ms, 300 ms queued") << 200 << 15 << 1;
    QTest::newRow("200 ms, 320 ms queued") << 200 << 16 << 1;
    QTest::newRow("200 ms, 340 ms queued") << 200 << 17 << 7;
    // Trimmed as it arrives: at most 320 ms is left when the reader comes.
    QTest::newRow("200 ms, 2 s queued") << 200 << 100 << 85;
    QTest::newRow("40 ms, 100 ms queued") << 40 << 5 << 1;
    QTest::newRow("40 ms, 120 ms queued") << 40 << 6 << 4;
}

// Datagrams pile up before the first read (a device slow to start): playout
// begins with no more than the buffering queued, then plays on without gaps.
void TestRtpFixedJb::startUpStallAbsorbed()
{
    QFETCH(qint32, buffered);
    QFETCH(int, queued);
    QFETCH(int, firstPlayed);

    RtpFixedJb jb;
    jb.setClock(&fakeNow);
    jb.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    jb.setFormat(kFrame, 20);
    jb.setBuffered(buffered);
    QByteArray b(kFrame, 0);
    jb.read(b.data(), b.size());
    quint16 seq = 1;
    for (int k = 1; k <= queued; ++k)
        jb.write(makeDatagram(seq++, 1000 + 20 * quint32(k), qint16(k)));

    QVector<int> markers;
    for (int i = 0; i < queued + buffered / 20 + 2; ++i) {
        QCOMPARE(jb.read(b.data(), b.size()), qint64(kFrame));
        const int m = toSamples(b).last();
        if (m != 0)
            markers.append(m);
    }
    QVERIFY2(!markers.isEmpty(), "nothing played");
    QCOMPARE(markers.first(), firstPlayed);
    for (int i = 1; i < markers.size(); ++i)
        QCOMPARE(markers.at(i), markers.at(i - 1) + 1);
    QCOMPARE(markers.last(), queued);
    QCOMPARE(jb.statisticsCounter()->values().at(RtpStatistics::Late), 0u);
}

// Ten minutes of noise in 20 ms datagrams with 5 % duplicates, 5 % overtaken
// and up to 40 ms of jitter, no loss, at 200 ms buffering: every sample is
// played as it was sent, in a simulated timeline with a steady reader.
void TestRtpFixedJb::losslessStreamPlaysAsSent()
{
    constexpr int kFrames = 10 * 60 * 50;
    constexpr int kSamples = kFrame / 2;
    QRandomGenerator rng(18);
    QVector<qint16> sent(kFrames * kSamples);
    for (qint16 &v : sent)
        v = qint16(rng.bounded(-30000, 30000));

    struct Arrival
    {
        qint64 atUs;
        int frame;
    };
    QVector<Arrival> arrivals;
    for (int i = 0; i < kFrames; ++i) {
        arrivals.append({ 20000LL * i + rng.bounded(40000), i });
        if (rng.bounded(100) < 5)
            arrivals.append({ 20000LL * i + rng.bounded(40000), i });
    }
    std::stable_sort(
        arrivals.begin(), arrivals.end(), [](const Arrival &a, const Arrival &b) { return a.atUs < b.atUs; });
    // Overtaking on top of the jitter: a datagram swaps places with the next.
    for (int i = 0; i + 1 < arrivals.size(); ++i) {
        if (rng.bounded(100) < 5) {
            std::swap(arrivals[i].frame, arrivals[i + 1].frame);
            ++i;
        }
    }

    RtpFixedJb jb;
    jb.setClock(&fakeNow);
    jb.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    jb.setFormat(kFrame, 20);
    jb.setBuffered(200);
    QByteArray slot(kFrame, 0);
    jb.read(slot.data(), slot.size());

    QVector<qint16> played;
    played.reserve(sent.size() + 40 * kSamples);
    QByteArray d(16 + kFrame, 0);
    auto *p = reinterpret_cast<uchar *>(d.data());
    p[0] = 0x80;
    qToBigEndian<quint32>(0x1234u, p + 8);
    int next = 0;
    // The reader starts with the first datagram and then takes a frame every 20 ms.
    const qint64 firstAt = arrivals.first().atUs;
    for (qint64 read = 0; played.size() < sent.size() + 30 * kSamples; ++read) {
        const qint64 readAt = firstAt + 20000 * read + 7000;
        for (; next < arrivals.size() && arrivals.at(next).atUs <= readAt; ++next) {
            const int f = arrivals.at(next).frame;
            qToBigEndian<quint16>(quint16(f), p + 2);
            qToBigEndian<quint32>(quint32(1000 + 20 * f), p + 4);
            std::memcpy(d.data() + 16, sent.constData() + qint64(f) * kSamples, kFrame);
            QCOMPARE(jb.write(d), qint64(d.size()));
        }
        QCOMPARE(jb.read(slot.data(), slot.size()), qint64(kFrame));
        played += toSamples(slot);
    }

    // Silence until the buffering is filled, then the stream.
    int start = 0;
    while (start < played.size() && played.at(start) == 0)
        ++start;
    QCOMPARE(start % kSamples, 0);
    QCOMPARE(start / kSamples, 10);
    QVERIFY(played.size() - start >= sent.size());
    for (int i = 0; i < sent.size(); ++i) {
        if (played.at(start + i) != sent.at(i))
            QFAIL(qPrintable(QStringLiteral("sample %1 (frame %2): played %3, sent %4")
                                 .arg(i)
                                 .arg(i / kSamples)
                                 .arg(played.at(start + i))
                                 .arg(sent.at(i))));
    }
    const QVector<quint32> stats = jb.statisticsCounter()->values();
    QCOMPARE(stats.at(RtpStatistics::TotalLate), 0u);
    QCOMPARE(stats.at(RtpStatistics::TotalLost), 0u);
}

void TestRtpFixedJb::lateFirstReadNotCarriedAsDelay_data()
{
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<int>("playedAt");
    QTest::newRow("at once") << 0 << 10;
    QTest::newRow("within half a frame") << 9 << 10;
    QTest::newRow("past half a frame") << 11 << 9;
    QTest::newRow("110 ms") << 110 << 4;
    QTest::newRow("190 ms") << 190 << 0;
    QTest::newRow("beyond the buffering: the frame is gone") << 250 << -1;
}

// The playback device starts a while after the first datagram: the frame
// plays that much sooner in read counts, so the delay is the buffering.
void TestRtpFixedJb::lateFirstReadNotCarriedAsDelay()
{
    QFETCH(int, afterMs);
    QFETCH(int, playedAt);
    g_nowNs = 1000000000;
    Stream s;
    s.send(40000, 101);
    g_nowNs += qint64(afterMs) * 1000000;
    QCOMPARE(s.readMarkers(12).indexOf(101), playedAt);
    g_nowNs = 0;
}

void TestRtpFixedJb::resetClearsAtNextRead()
{
    Stream s;
    s.send(1000, 101);
    s.send(1020, 102);
    QVERIFY(s.jb.reset());
    // Still queued until the reader comes.
    s.send(1040, 103);
    QCOMPARE(s.stat(RtpStatistics::Received), 3u);
    QCOMPARE(s.readMarker(), -1);
    QCOMPARE(s.readMarker(), -1);
    QCOMPARE(s.stat(RtpStatistics::Received), 0u);
    QCOMPARE(s.stat(RtpStatistics::TotalReceived), 3u);

    s.send(1060, 104);
    QCOMPARE(s.readMarkers(11), markersWith(11, { { 10, 104 } }));
}

void TestRtpFixedJb::partialFrames()
{
    Stream s;
    s.send(1000, 101);
    s.send(1020, 102);

    QByteArray small(500, 0x5A);
    QCOMPARE(s.jb.read(small.data(), small.size()), qint64(500));
    QCOMPARE(small, QByteArray(500, 0x5A));

    // Two whole frames and a remainder that stays as it was.
    for (int i = 0; i < 5; ++i)
        QCOMPARE(s.readMarker(), 0);
    QByteArray b(2 * kFrame + 80, 0x5A);
    QCOMPARE(s.jb.read(b.data(), b.size()), qint64(b.size()));
    QCOMPARE(b.mid(2 * kFrame), QByteArray(80, 0x5A));
    QCOMPARE(s.readMarkers(5), markersWith(5, { { 3, 101 }, { 4, 102 } }));
}

void TestRtpFixedJb::timestampsAcrossSignedAndUnsignedLimits_data()
{
    QTest::addColumn<quint32>("first");

    QTest::newRow("across 2^31") << quint32(0x80000000u - 300);
    // The sender's clock wraps to 10 at the thirtieth datagram.
    QTest::newRow("across the 2^32 wrap") << quint32(10 - 600);
}

void TestRtpFixedJb::timestampsAcrossSignedAndUnsignedLimits()
{
    QFETCH(quint32, first);

    Stream s;
    QVector<int> played;
    QVector<int> expected;
    for (int k = 0; k < 60; ++k) {
        s.send(quint32(first + 20u * quint32(k)), qint16(100 + k));
        played.append(s.readMarker());
        expected.append(k < 10 ? 0 : 100 + k - 10);
    }
    QCOMPARE(played, expected);
    QCOMPARE(s.stat(RtpStatistics::Late), 0u);
}

void TestRtpFixedJb::rejectedDatagrams_data()
{
    QTest::addColumn<int>("length");

    for (int len = 0; len <= 16; ++len)
        QTest::addRow("%d bytes", len) << len;
    QTest::newRow("negative") << -1;
    QTest::newRow("very negative") << -100000;
    QTest::newRow("one byte over the largest datagram") << int(RtpFixedJb::kMaxDatagramSize + 1);
    QTest::newRow("larger than any UDP datagram") << 70000;
}

void TestRtpFixedJb::rejectedDatagrams()
{
    QFETCH(int, length);

    Stream s;
    QByteArray d = makeDatagram(7, 1000, 42, 70000);
    QCOMPARE(s.jb.writeData(d.constData(), length), qint64(0));
    QCOMPARE(s.stat(RtpStatistics::Received), 0u);
    QCOMPARE(s.readMarker(), -1);
}

void TestRtpFixedJb::largestDatagramAccepted()
{
    Stream s;
    const QByteArray d = makeDatagram(7, 1000, 42, 70000);
    QCOMPARE(s.jb.writeData(d.constData(), RtpFixedJb::kMaxDatagramSize), RtpFixedJb::kMaxDatagramSize);
    QCOMPARE(s.stat(RtpStatistics::Received), 1u);
    // The header alone plus one byte is the smallest.
    Stream t;
    QCOMPARE(t.jb.writeData(d.constData(), RtpFixedJb::kHeaderSize + 1), qint64(RtpFixedJb::kHeaderSize + 1));
    QCOMPARE(t.stat(RtpStatistics::Received), 1u);
}

void TestRtpFixedJb::lowTimestampCountedButNotQueued()
{
    Stream s;
    for (quint32 ts : { 0u, 1u, 2u }) {
        QCOMPARE(s.jb.write(makeDatagram(quint16(10 + ts), ts, 77)), qint64(0));
        QCOMPARE(s.readMarker(), -1);
    }
    QCOMPARE(s.stat(RtpStatistics::Received), 3u);

    QCOMPARE(s.jb.write(makeDatagram(20, 1000, 88)), qint64(kFrame + 16));
    QCOMPARE(s.jb.write(makeDatagram(21, 2, 99)), qint64(0));
    // Its sequence number was taken: 21 -> 23 is one lost, not two.
    QCOMPARE(s.jb.write(makeDatagram(23, 1020, 89)), qint64(kFrame + 16));
    QCOMPARE(s.stat(RtpStatistics::Lost), 1u);
    QCOMPARE(s.stat(RtpStatistics::Received), 6u);
    QCOMPARE(s.readMarkers(13), markersWith(13, { { 10, 88 }, { 11, 89 } }));
}

void TestRtpFixedJb::shortAndOddPayloads()
{
    Stream s;
    // 100 bytes of payload: 50 samples, then silence to the end of the frame.
    QCOMPARE(s.jb.write(makeDatagram(1, 1000, 300, 100)), qint64(116));
    // An odd length with more than a frame: the extra is ignored.
    QByteArray odd = makeDatagram(2, 1020, 400, kFrame + 2);
    odd.chop(1);
    QCOMPARE(s.jb.write(odd), qint64(kFrame + 17));
    // One byte of payload.
    QCOMPARE(s.jb.write(makeDatagram(3, 1040, 500, 2).left(17)), qint64(17));

    s.readMarkers(10);
    QCOMPARE(s.readMarker(), 0);
    for (int i = 30; i < 50; ++i)
        QCOMPARE(s.last.at(i), qint16(300));
    for (int i = 50; i < kFrame / 2; ++i)
        QCOMPARE(s.last.at(i), qint16(0));
    QCOMPARE(s.readMarker(), 400);
    QCOMPARE(s.readMarker(), 0);
    QCOMPARE(s.last.at(0), qint16(500 & 0xFF));
    QCOMPARE(s.stat(RtpStatistics::Received), 3u);
}

void TestRtpFixedJb::unusableFormatIgnored()
{
    Stream s;
    const QVector<QPair<qint32, qint32>> bad { { 0, 20 }, { -960, 20 }, { 961, 20 }, { 960, 0 }, { 960, 1 },
        { 960, -20 } };
    for (const auto &f : bad) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Unusable format"));
        s.jb.setFormat(f.first, f.second);
        QCOMPARE(s.jb.frameSize(), kFrame);
        QCOMPARE(s.jb.packetDuration(), 20);
    }
    s.jb.setFormat(480, 10);
    QCOMPARE(s.jb.frameSize(), 480);
    QCOMPARE(s.jb.packetDuration(), 10);
}

void TestRtpFixedJb::randomInput()
{
    QuietLate quiet;
    QRandomGenerator rng(20240601);
    Stream s;
    QByteArray out(4000, 0);
    for (int i = 0; i < 4000; ++i) {
        QByteArray d(int(rng.bounded(1100)), Qt::Uninitialized);
        for (char &c : d)
            c = char(rng.bounded(256));
        const qint64 w = s.jb.writeData(d.constData(), d.size());
        QVERIFY(w == 0 || w == d.size());
        if (d.size() <= 16)
            QCOMPARE(w, qint64(0));

        const int want = int(rng.bounded(out.size()));
        const qint64 r = s.jb.read(out.data(), want);
        QVERIFY(r == 0 || r == want);
        if (rng.bounded(200) == 0)
            s.jb.reset();
        if (rng.bounded(300) == 0)
            s.jb.setBuffered(qint32(rng.bounded(-100, 4000)));
    }
}

void TestRtpFixedJb::concurrentWriterAndReader()
{
    QuietLate quiet;
    Stream s;
    constexpr int kCount = 2000;
    // A plain thread: QThread::create runs its function through std::call_once,
    // where ThreadSanitizer stops looking.
    std::thread writer([&s] {
        for (int k = 0; k < kCount; ++k) {
            const QByteArray d = makeDatagram(quint16(k), quint32(1000 + 20 * k), qint16(k));
            s.jb.writeData(d.constData(), d.size());
        }
    });
    QByteArray b(kFrame, 0);
    bool readsOk = true;
    for (int k = 0; k < kCount; ++k) {
        const qint64 r = s.jb.readData(b.data(), b.size());
        readsOk = readsOk && (r == 0 || r == kFrame);
    }
    writer.join();
    QVERIFY(readsOk);
    QCOMPARE(s.stat(RtpStatistics::TotalReceived), quint32(kCount));
}

QTEST_GUILESS_MAIN(TestRtpFixedJb)
#include "tst_rtpfixedjb.moc"
