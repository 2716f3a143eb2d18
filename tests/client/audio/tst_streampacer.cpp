#include "client/audio/streampacer.h"

#include <QTest>

using namespace morvex;

namespace {
constexpr double kRate = 12000;
constexpr qint64 kFrames = 1200;
constexpr qint64 kSecond = 1'000'000'000;
// One buffer plus the stream's latency, as launch() gives it.
constexpr qint64 kBuffering = kFrames * kSecond / qint64(kRate) + kSecond / 10;

struct Run
{
    qint64 waits = 0; // callbacks that were told to wait
    qint64 mostAheadNs = 0; // audio delivered beyond the wall clock
    qint64 burstFrames = 0; // frames after the stall before the first wait
    double audioSec = 0;
    double wallSec = 0;
};

// A device that calls back with kFrames each time, at speed times real time
// (0: no clock, the next callback comes at once). It hands over prefill
// buffers at its start and stalls stallNs after its first callback.
Run simulate(double speed, int prefill, qint64 stallNs, double seconds)
{
    StreamPacer pacer;
    pacer.start(kRate, kBuffering);
    const qint64 origin = 5 * kSecond;
    qint64 now = origin;
    qint64 frames = 0;
    Run run;
    bool afterStall = stallNs == 0;
    bool burstOver = false;
    for (int i = 0; now - origin < qint64(seconds * kSecond); ++i) {
        const qint64 waitNs = pacer.delivered(now, kFrames);
        frames += kFrames;
        if (afterStall && !burstOver) {
            if (waitNs > 0)
                burstOver = true;
            else
                run.burstFrames += kFrames;
        }
        run.mostAheadNs = qMax(run.mostAheadNs, frames * kSecond / qint64(kRate) - (now - origin));
        if (waitNs > 0)
            ++run.waits;
        now += waitNs;
        if (i == 0 && stallNs > 0) {
            now += stallNs;
            afterStall = true;
        } else if (i + 1 >= prefill) {
            now += speed > 0 ? qint64(double(kFrames) / kRate / speed * kSecond) : 1000;
        }
    }
    run.audioSec = double(frames) / kRate;
    run.wallSec = double(now - origin) / kSecond;
    return run;
}
} // namespace

class TestStreamPacer : public QObject
{
    Q_OBJECT

private slots:
    void realDevicesAreNeverHeld_data();
    void realDevicesAreNeverHeld();
    void clocklessDeviceKeepsToWallClock();
    void stallEarnsNoLongBurst();
    void nothingToPace();
};

void TestStreamPacer::realDevicesAreNeverHeld_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("prefill");
    QTest::addColumn<double>("seconds");
    QTest::newRow("exact") << 1.0 << 1 << 60.0;
    QTest::newRow("whole buffer handed over at start") << 1.0 << 3 << 60.0;
    QTest::newRow("slow crystal") << 0.995 << 1 << 600.0;
    QTest::newRow("fast crystal, a day") << 1.0001 << 1 << 86400.0;
    QTest::newRow("fast by half a percent") << 1.005 << 3 << 3600.0;
}

void TestStreamPacer::realDevicesAreNeverHeld()
{
    QFETCH(double, speed);
    QFETCH(int, prefill);
    QFETCH(double, seconds);
    const Run run = simulate(speed, prefill, 0, seconds);
    QCOMPARE(run.waits, qint64(0));
}

void TestStreamPacer::clocklessDeviceKeepsToWallClock()
{
    const Run run = simulate(0, 1, 0, 60);
    QVERIFY(run.waits > 500);
    // Real time, give or take the slack for fast clocks; never further
    // ahead than the lead, the stream's buffering and the slack allow.
    QVERIFY2(run.audioSec >= run.wallSec && run.audioSec <= run.wallSec * 1.011 + 1,
        qPrintable(QStringLiteral("%1 s of audio in %2 s").arg(run.audioSec).arg(run.wallSec)));
    const qint64 bound = StreamPacer::kLeadNs + kBuffering + qint64(run.wallSec * kSecond) / 100
        + kFrames * kSecond / qint64(kRate);
    QVERIFY2(run.mostAheadNs <= bound, qPrintable(QString::number(run.mostAheadNs)));
}

void TestStreamPacer::stallEarnsNoLongBurst()
{
    // Ten seconds without a callback, then no clock: the catch-up is
    // bounded by what may be behind plus what may be ahead.
    const Run run = simulate(0, 1, 10 * kSecond, 30);
    const qint64 bound
        = (StreamPacer::kMaxBehindNs + StreamPacer::kLeadNs + kBuffering) * qint64(kRate) / kSecond
        + 2 * kFrames;
    QVERIFY2(run.burstFrames > 0 && run.burstFrames <= bound,
        qPrintable(QStringLiteral("%1 frames, bound %2").arg(run.burstFrames).arg(bound)));
    QVERIFY(run.audioSec <= run.wallSec);
}

void TestStreamPacer::nothingToPace()
{
    StreamPacer pacer;
    pacer.start(0, kBuffering);
    QCOMPARE(pacer.delivered(kSecond, 1 << 30), qint64(0));
    pacer.start(kRate, kBuffering);
    QCOMPARE(pacer.delivered(kSecond, 0), qint64(0));
    // Ten minutes of audio in one callback at the start: held back by it
    // less the lead and the buffering.
    const qint64 tenMinutes = qint64(kRate) * 600;
    QCOMPARE(pacer.delivered(kSecond, tenMinutes), 600 * kSecond - StreamPacer::kLeadNs - kBuffering);
}

QTEST_APPLESS_MAIN(TestStreamPacer)
#include "tst_streampacer.moc"
