#include "client/Rtp/packetlossconcealment.h"

#include <QRandomGenerator>
#include <QVector>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace morvex;

namespace {

constexpr int kFrame = 480;

// Integer tone with an exact period of 60 values.
qint16 tone(int n)
{
    return qint16(std::lround(10000.0 * std::sin(2.0 * M_PI * (n % 60) / 60.0)));
}

QVector<qint16> toneFrame(int start, int count = kFrame)
{
    QVector<qint16> f(count);
    for (int i = 0; i < count; ++i)
        f[i] = tone(start + i);
    return f;
}

bool allZero(const QVector<qint16> &v)
{
    return std::all_of(v.cbegin(), v.cend(), [](qint16 s) { return s == 0; });
}

} // namespace

class TestPacketLossConcealment : public QObject
{
    Q_OBJECT

private slots:
    void zeroedStateConcealsWithSilence();
    void toneRepeatsItsPeriod_data();
    void toneRepeatsItsPeriod();
    void secondFillInIsSilence();
    void returnCrossFadesFromSilence();
    void returnCrossFadesFromFadingSignal();
    void crossFadeRoundsHalfToEven();
    void frameWithoutLossUnchanged_data();
    void frameWithoutLossUnchanged();
    void shortAndEmptyRequests();
    void longLossNeverOverflows();
    void stereoPeriodKeepsChannels();
    void pitchAtTheSearchLimits_data();
    void pitchAtTheSearchLimits();
};

void TestPacketLossConcealment::zeroedStateConcealsWithSilence()
{
    PacketLossConcealment plc;
    QVector<qint16> out(kFrame, 123);
    QCOMPARE(plc.fillIn(out.data(), out.size()), kFrame);
    QVERIFY(allZero(out));
    // Equal sums everywhere: the shortest period wins.
    QCOMPARE(plc.pitch(), PacketLossConcealment::kMinPitch);
}

void TestPacketLossConcealment::toneRepeatsItsPeriod_data()
{
    QTest::addColumn<QVector<int>>("chunks");

    // Different chunkings exercise every path of the history ring.
    QTest::newRow("480-value frames") << QVector<int> { 480, 480, 480 };
    QTest::newRow("one long frame") << QVector<int> { 1000 };
    QTest::newRow("ragged chunks") << QVector<int> { 7, 100, 359, 1, 250, 13, 300 };
    QTest::newRow("exactly the history") << QVector<int> { 360 };
}

void TestPacketLossConcealment::toneRepeatsItsPeriod()
{
    QFETCH(QVector<int>, chunks);

    PacketLossConcealment plc;
    int n = 0;
    for (int c : qAsConst(chunks)) {
        QVector<qint16> f = toneFrame(n, c);
        const QVector<qint16> before = f;
        QCOMPARE(plc.receive(f.data(), c), c);
        QCOMPARE(f, before);
        n += c;
    }

    QVector<qint16> out(kFrame);
    QCOMPARE(plc.fillIn(out.data(), out.size()), kFrame);
    QCOMPARE(plc.pitch(), 60);

    // After the join the tone simply goes on, fading by 0.0025 per value.
    const int overlap = 60 / 4;
    float gain = 1.0f;
    int i = overlap;
    for (; gain > 0.0f; ++i, gain -= PacketLossConcealment::kAttenuation) {
        const double expected = double(tone(n + i)) * double(gain);
        QVERIFY2(std::abs(out[i] - expected) <= 1.0,
            qPrintable(QString("value %1: %2, expected %3").arg(i).arg(out[i]).arg(expected)));
    }
    QVERIFY(i >= overlap + 400 && i <= overlap + 401);
    for (; i < kFrame; ++i)
        QCOMPARE(out[i], qint16(0));
}

void TestPacketLossConcealment::secondFillInIsSilence()
{
    PacketLossConcealment plc;
    QVector<qint16> f = toneFrame(0);
    plc.receive(f.data(), f.size());
    QVector<qint16> out(kFrame);
    plc.fillIn(out.data(), out.size());
    QVERIFY(!allZero(out));
    out.fill(7);
    plc.fillIn(out.data(), out.size());
    QVERIFY(allZero(out));
    QCOMPARE(plc.missingSamples(), 2 * kFrame);
}

void TestPacketLossConcealment::returnCrossFadesFromSilence()
{
    PacketLossConcealment plc;
    QVector<qint16> f = toneFrame(0);
    plc.receive(f.data(), f.size());
    QVector<qint16> out(kFrame);
    plc.fillIn(out.data(), out.size());
    plc.fillIn(out.data(), out.size());

    // The synthetic signal has faded out, so the real one fades in from zero
    // over pitch / 4 values; the rest is left alone.
    QVector<qint16> real(kFrame, 1000);
    plc.receive(real.data(), real.size());
    QCOMPARE(plc.missingSamples(), 0);
    const int overlap = 15;
    for (int i = 0; i < overlap; ++i)
        QVERIFY(std::abs(real[i] - 1000.0 * (i + 1) / overlap) <= 1.0);
    for (int i = overlap; i < kFrame; ++i)
        QCOMPARE(real[i], qint16(1000));
}

void TestPacketLossConcealment::returnCrossFadesFromFadingSignal()
{
    PacketLossConcealment plc;
    int n = 0;
    for (; n < 3 * kFrame; n += kFrame) {
        QVector<qint16> f = toneFrame(n);
        plc.receive(f.data(), f.size());
    }
    // A short gap: 120 values synthesised, gain left 1 - 120 x 0.0025 = 0.7.
    QVector<qint16> out(120);
    plc.fillIn(out.data(), out.size());

    QVector<qint16> real(kFrame, -2000);
    plc.receive(real.data(), real.size());
    const int overlap = 15;
    const double step = 1.0 / overlap;
    for (int i = 0; i < overlap; ++i) {
        // Synthetic continuation of the tone 120 values on, weighted down, into the real signal.
        const double oldWeight = std::max(0.0, (1.0 - step) * 0.7 - i * 0.7 * step);
        const double newWeight = step * (i + 1);
        const double expected = oldWeight * tone(n + 120 + i) + newWeight * -2000.0;
        QVERIFY2(std::abs(real[i] - expected) <= 2.0,
            qPrintable(QString("value %1: %2, expected %3").arg(i).arg(real[i]).arg(expected)));
    }
    QVERIFY(real[0] != -2000);
    for (int i = overlap; i < kFrame; ++i)
        QCOMPARE(real[i], qint16(-2000));
}

void TestPacketLossConcealment::crossFadeRoundsHalfToEven()
{
    // Period 64 gives an overlap of 16, whose weights k/16 are exact, so a
    // real signal of 8 fades in over exact halves.
    PacketLossConcealment plc;
    QVector<qint16> f(kFrame);
    for (int i = 0; i < kFrame; ++i)
        f[i] = qint16(std::lround(8000.0 * std::sin(2.0 * M_PI * (i % 64) / 64.0)));
    plc.receive(f.data(), f.size());
    QVector<qint16> out(kFrame);
    plc.fillIn(out.data(), out.size());
    QCOMPARE(plc.pitch(), 64);
    plc.fillIn(out.data(), out.size());

    QVector<qint16> real(kFrame, 8);
    plc.receive(real.data(), real.size());
    const QVector<qint16> expected { 0, 1, 2, 2, 2, 3, 4, 4, 4, 5, 6, 6, 6, 7, 8, 8, 8, 8 };
    QCOMPARE(real.mid(0, expected.size()), expected);
}

void TestPacketLossConcealment::frameWithoutLossUnchanged_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("one frame") << kFrame;
    QTest::newRow("short") << 17;
    QTest::newRow("longer than the history") << 1000;
}

void TestPacketLossConcealment::frameWithoutLossUnchanged()
{
    QFETCH(int, count);
    QRandomGenerator rng(7);
    PacketLossConcealment plc;
    for (int round = 0; round < 3; ++round) {
        QVector<qint16> f(count);
        for (qint16 &s : f)
            s = qint16(rng.bounded(-32768, 32768));
        const QVector<qint16> before = f;
        QCOMPARE(plc.receive(f.data(), count), count);
        QCOMPARE(f, before);
    }
}

void TestPacketLossConcealment::shortAndEmptyRequests()
{
    PacketLossConcealment plc;
    QVector<qint16> f = toneFrame(0);
    plc.receive(f.data(), f.size());

    // Fewer values than the join: only what was asked for is written.
    QVector<qint16> out(20, 0x5A5A);
    QCOMPARE(plc.fillIn(out.data(), 10), 10);
    for (int i = 10; i < out.size(); ++i)
        QCOMPARE(out[i], qint16(0x5A5A));
    QCOMPARE(plc.fillIn(out.data(), 0), 0);
    QCOMPARE(plc.fillIn(out.data(), -5), 0);
    QCOMPARE(plc.receive(out.data(), 0), 0);
    QCOMPARE(plc.receive(nullptr, 10), 0);
    QCOMPARE(plc.missingSamples(), 10);
}

void TestPacketLossConcealment::longLossNeverOverflows()
{
    PacketLossConcealment plc;
    QVector<qint16> out(1 << 22);
    // Days of concealed audio in a few calls: the count saturates.
    for (int i = 0; i < 600; ++i)
        plc.fillIn(out.data(), out.size());
    QVERIFY(plc.missingSamples() > 0);
    QVERIFY(allZero(out));
    QVector<qint16> real(kFrame, 100);
    plc.receive(real.data(), real.size());
    QCOMPARE(real.last(), qint16(100));
}

// Main RX and a Sub RX that is nearly its copy half a sample later: counted
// in interleaved values, a period of 61 (30.5 sample pairs) fits best, and
// repeating it would put each channel's samples on the other.
void TestPacketLossConcealment::stereoPeriodKeepsChannels()
{
    constexpr int kPairs = 240;
    QVector<qint16> signal(2 * kPairs);
    for (int k = 0; k < kPairs; ++k) {
        signal[2 * k] = qint16(std::lround(10000.0 * std::sin(2 * M_PI * k / 30.5)));
        signal[2 * k + 1] = qint16(std::lround(9700.0 * std::sin(2 * M_PI * (k + 0.5) / 30.5)));
    }
    // The interleaved fit, as the search sums it over the last 360 values.
    const qint16 *h = signal.constData() + signal.size() - PacketLossConcealment::kHistoryLength;
    auto sum = [h](int p) {
        qint64 s = 0;
        for (int j = 0; j < PacketLossConcealment::kCorrelationSpan; ++j)
            s += std::abs(int(h[p + j]) - int(h[j]));
        return s;
    };
    qint64 bestOdd = std::numeric_limits<qint64>::max();
    qint64 bestEven = std::numeric_limits<qint64>::max();
    for (int p = PacketLossConcealment::kMinPitch; p <= PacketLossConcealment::kMaxPitch; ++p)
        (p % 2 ? bestOdd : bestEven) = std::min(p % 2 ? bestOdd : bestEven, sum(p));
    QVERIFY2(bestOdd < bestEven, "the signal must favour an odd interleaved period");

    PacketLossConcealment plc;
    plc.setChannels(2);
    QCOMPARE(plc.receive(signal.data(), signal.size()), signal.size());
    QVector<qint16> out(480);
    plc.fillIn(out.data(), out.size());
    const int pitch = plc.pitch();
    QCOMPARE(pitch % 2, 0);
    QVERIFY(pitch == 60 || pitch == 62);

    // Past the join, the first period is the last period of the history,
    // each value on its own channel, scaled by the fading gain.
    const int overlap = pitch / 4 / 2 * 2;
    float gain = 1.0f;
    for (int i = overlap; i < pitch - overlap; ++i) {
        const int from = PacketLossConcealment::kHistoryLength - pitch + i;
        QCOMPARE(from % 2, i % 2);
        const qint16 expected = qint16(float(h[from]) * gain);
        QVERIFY2(std::abs(out[i] - expected) <= 1,
            qPrintable(QStringLiteral("value %1: %2, not %3").arg(i).arg(out[i]).arg(expected)));
        gain -= PacketLossConcealment::kAttenuation;
    }

    // The channels keep their levels over the whole fade: Sub RX stays the quieter.
    int peakL = 0;
    int peakR = 0;
    for (int i = overlap; i < pitch; i += 2) {
        peakL = std::max(peakL, std::abs(int(out[i])));
        peakR = std::max(peakR, std::abs(int(out[i + 1])));
    }
    QVERIFY2(peakL > peakR, qPrintable(QStringLiteral("L %1, R %2").arg(peakL).arg(peakR)));

    // Mono keeps any period, odd ones included.
    PacketLossConcealment mono;
    QCOMPARE(mono.channels(), 1);
    mono.receive(signal.data(), signal.size());
    mono.fillIn(out.data(), out.size());
    QCOMPARE(mono.pitch() % 2, 1);
}

void TestPacketLossConcealment::pitchAtTheSearchLimits_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("period");

    QTest::newRow("shortest") << 1 << PacketLossConcealment::kMinPitch;
    QTest::newRow("one above the shortest") << 1 << PacketLossConcealment::kMinPitch + 1;
    QTest::newRow("one below the longest") << 1 << PacketLossConcealment::kMaxPitch - 1;
    QTest::newRow("longest") << 1 << PacketLossConcealment::kMaxPitch;
    QTest::newRow("stereo, longest") << 2 << PacketLossConcealment::kMaxPitch;
}

void TestPacketLossConcealment::pitchAtTheSearchLimits()
{
    QFETCH(int, channels);
    QFETCH(int, period);

    // Noise repeating every `period` values: only that period (and its
    // multiples, which are longer) fits exactly.
    QVector<qint16> pattern(period);
    quint32 seed = 12345;
    for (qint16 &v : pattern) {
        seed = seed * 1103515245u + 12345u;
        v = qint16(int((seed >> 16) % 20001) - 10000);
    }
    PacketLossConcealment plc;
    plc.setChannels(channels);
    QVector<qint16> in(3 * PacketLossConcealment::kHistoryLength);
    for (int i = 0; i < in.size(); ++i)
        in[i] = pattern.at(i % period);
    plc.receive(in.data(), in.size());
    QVector<qint16> out(kFrame);
    plc.fillIn(out.data(), out.size());
    QCOMPARE(plc.pitch(), period);
}

QTEST_APPLESS_MAIN(TestPacketLossConcealment)
#include "tst_packetlossconcealment.moc"
