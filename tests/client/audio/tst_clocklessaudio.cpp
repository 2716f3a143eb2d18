#include "client/Rtp/rtpsendbuffer.h"
#include "client/audio/audiothread.h"
#include "client/audio/paudioabstract.h"
#include "tests/client/audio/audiodevicetestutil.h"
#include "tests/support/proccpu.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <portaudio.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <unistd.h>

using namespace morvex;

// ALSA's plugins, opened by PortAudio's start-up, keep what their
// constructors allocate until the process ends.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:snd_dlopen\n";
}
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

namespace {
using audiodevicetest::findDevice;

constexpr qint64 kSecondNs = 1'000'000'000;
// Capture fast enough to fill the send buffer within seconds.
constexpr int kCaptureRate = 48000;
constexpr int kCaptureChannels = 8;
constexpr qint64 kCaptureBytesPerSec = qint64(kCaptureRate) * kCaptureChannels * 2;
constexpr int kPlayRate = 12000;
constexpr qint64 kPlayBytesPerSec = kPlayRate * 2 * 2;
constexpr int kStopLimitMs = 5000;

// Silence for a playback stream, counting what the stream takes.
class CountingSource final : public QIODevice
{
public:
    CountingSource() { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return true; }
    bool reset() override { return true; }
    qint64 taken() const { return m_taken.load(); }

protected:
    qint64 readData(char *data, qint64 maxlen) override
    {
        std::memset(data, 0, size_t(maxlen));
        m_taken += maxlen;
        return maxlen;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    std::atomic<qint64> m_taken { 0 };
};

paudio::StreamDescriptor descriptor(paudio::AudioType kind, int device, QIODevice *data)
{
    const bool capture = kind == paudio::audioIn || kind == paudio::audioInVirtual;
    paudio::StreamDescriptor d = audiodevicetest::descriptor(kind, device, data);
    d.params.setSampleRate(capture ? kCaptureRate : kPlayRate);
    d.params.setChannels(capture ? kCaptureChannels : 2);
    d.params.setFramesPerBuffer(capture ? kCaptureRate / 10 : kPlayRate / 10);
    return d;
}

// Frames a bare PortAudio capture stream gets, with no pacing of ours.
struct RawCount
{
    std::atomic<qint64> frames { 0 };
};

int rawCallback(const void *, void *, unsigned long frames, const PaStreamCallbackTimeInfo *,
    PaStreamCallbackFlags, void *user)
{
    static_cast<RawCount *>(user)->frames += qint64(frames);
    return paContinue;
}
} // namespace

// The sound engine on devices without a clock (ALSA's null PCMs), whose
// callbacks would run as fast as the CPU allows.
class TestClocklessAudio : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void devicesHaveNoClock();
    void engineKeepsToWallClockAndStopsPromptly();

private:
    int m_nullIn = -1;
    int m_nullOut = -1;
};

void TestClocklessAudio::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("BRELKO_AUDIO_READY"),
        "no virtual sound devices: run under scripts/with-test-env.sh");
    m_nullIn = findDevice(QStringLiteral("Null In"), true);
    m_nullOut = findDevice(QStringLiteral("Null Out"), false);
    QVERIFY2(m_nullIn >= 0 && m_nullOut >= 0, "the null devices are not listed");
}

void TestClocklessAudio::devicesHaveNoClock()
{
    // The premise of the next test: left alone, the device runs far
    // faster than real time.
    QCOMPARE(Pa_Initialize(), paNoError);
    PaStreamParameters p {};
    p.device = m_nullIn;
    p.channelCount = 1;
    p.sampleFormat = paInt16;
    p.suggestedLatency = 0.1;
    RawCount count;
    PaStream *stream = nullptr;
    QCOMPARE(Pa_OpenStream(&stream, &p, nullptr, kPlayRate, kPlayRate / 10, paNoFlag, &rawCallback, &count),
        paNoError);
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(Pa_StartStream(stream), paNoError);
    // A minute of audio; a device with a clock takes a minute for it.
    const bool minute = QTest::qWaitFor([&] { return count.frames.load() >= 60 * kPlayRate; }, 10000);
    Pa_AbortStream(stream);
    const qint64 elapsedMs = wall.elapsed();
    Pa_CloseStream(stream);
    Pa_Terminate();
    const qint64 realTime = kPlayRate * elapsedMs / 1000;
    QVERIFY2(minute && count.frames.load() > 10 * realTime,
        qPrintable(QStringLiteral("%1 frames in %2 ms").arg(count.frames.load()).arg(elapsedMs)));
}

void TestClocklessAudio::engineKeepsToWallClockAndStopsPromptly()
{
    // Nothing reads the send buffer, as while the streaming thread is gone.
    RtpSendBuffer sendData;
    QVERIFY(sendData.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    CountingSource mainOut;
    CountingSource virtualOut;

    // After the data devices, so it stops before they go.
    AudioThread engine;
    QVERIFY(engine.addStream(descriptor(paudio::audioIn, m_nullIn, &sendData)));
    QVERIFY(engine.addStream(descriptor(paudio::audioInVirtual, m_nullIn, &sendData)));
    QVERIFY(engine.addStream(descriptor(paudio::audioOut, m_nullOut, &mainOut)));
    QVERIFY(engine.addStream(descriptor(paudio::audioOutVirtual, m_nullOut, &virtualOut)));
    engine.setInput(paudio::audioIn);
    engine.launch();
    for (auto k : { paudio::audioIn, paudio::audioInVirtual, paudio::audioOut, paudio::audioOutVirtual })
        QVERIFY2(engine.stream(k)->isRunning(), qPrintable(QString::number(k)));

    QElapsedTimer wall;
    wall.start();
    const qint64 cpuStart = processCpuMs() * (kSecondNs / 1000);
    QVERIFY(cpuStart >= 0);

    // Until the unread buffer has dropped audio and drops more, switching
    // the input half way; a few seconds at least, to measure the CPU over.
    // Not a QTRY: the stop below must come first whatever happens.
    qint64 mostQueued = 0;
    qint64 firstDropped = 0;
    bool switched = false;
    auto droppingMore = [&] {
        mostQueued = qMax(mostQueued, sendData.bytesAvailable());
        if (!switched && wall.elapsed() >= 2000) {
            engine.setInput(paudio::audioInVirtual);
            switched = true;
        }
        if (firstDropped == 0)
            firstDropped = sendData.droppedBytes();
        return firstDropped > 0 && sendData.droppedBytes() > firstDropped && wall.elapsed() >= 4000;
    };
    const bool dropsRose = QTest::qWaitFor(droppingMore, 30000);
    const qint64 cpuNs = processCpuMs() * (kSecondNs / 1000) - cpuStart;
    const qint64 wallNs = wall.nsecsElapsed();
    const double seconds = double(wallNs) / kSecondNs;
    const qint64 written = sendData.bytesAvailable() + sendData.droppedBytes();
    const QString why
        = QStringLiteral("%1 s: CPU %2 s, %3 bytes captured (%4 dropped), played %5 and %6 bytes")
              .arg(seconds)
              .arg(double(cpuNs) / kSecondNs)
              .arg(written)
              .arg(sendData.droppedBytes())
              .arg(mainOut.taken())
              .arg(virtualOut.taken());
    qInfo().noquote() << why;

    // Stopped first, whatever the checks below find. A hang here would hang
    // the test, so a watchdog ends the process instead.
    std::atomic<bool> stopped { false };
    std::thread stopper([&] {
        engine.stop();
        stopped.store(true);
    });
    QElapsedTimer stopTime;
    stopTime.start();
    if (!QTest::qWaitFor([&] { return stopped.load(); }, kStopLimitMs))
        qFatal("the engine's stop did not return within %d ms", kStopLimitMs);
    stopper.join();
    qInfo() << "stop took" << stopTime.elapsed() << "ms";
    for (auto k : { paudio::audioIn, paudio::audioInVirtual, paudio::audioOut, paudio::audioOutVirtual })
        QVERIFY(!engine.stream(k)->isRunning());

    // Bounded memory: the buffer never held more than its limit, and the
    // oldest audio went instead.
    QVERIFY2(dropsRose, qPrintable(why));
    QVERIFY2(mostQueued <= RtpSendBuffer::kMaxFill, qPrintable(why));
    // No core kept busy (without pacing the four streams take two cores).
    QVERIFY2(double(cpuNs) < 0.5 * double(wallNs), qPrintable(why));
    // Every stream kept to about real time, none starved: the limits are
    // half of it and a generous lead beyond it.
    auto realTime = [&](qint64 bytes, qint64 perSecond) {
        return bytes >= qint64(0.5 * seconds * perSecond)
            && bytes <= qint64((seconds * 1.02 + 2) * perSecond);
    };
    QVERIFY2(realTime(written, kCaptureBytesPerSec), qPrintable(why));
    QVERIFY2(realTime(mainOut.taken(), kPlayBytesPerSec), qPrintable(why));
    QVERIFY2(realTime(virtualOut.taken(), kPlayBytesPerSec), qPrintable(why));
}

QTEST_MAIN(TestClocklessAudio)
#include "tst_clocklessaudio.moc"
