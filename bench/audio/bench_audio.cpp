// Receive path latency (a click in the box's stream to the click recorded
// from the speakers) against the configured buffering, and the CPU time the
// client side spends per second of streaming. Needs the virtual sound
// devices: run under scripts/with-test-env.sh.
#include "client/Rtp/rtpfixedjb.h"
#include "client/Rtp/rtpstatistics.h"
#include "client/Rtp/rtpthread.h"
#include "client/audio/audiothread.h"
#include "client/audio/bufferplan.h"
#include "client/audio/paudioabstract.h"
#include "client/audio/paudiodevices.h"
#include "tests/client/audio/audiodevicetestutil.h"
#include "tests/support/simprocess.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include <sys/resource.h>

using namespace morvex;

namespace {
using audiodevicetest::findDevice;
using audiodevicetest::kRate;

// Streams as the station controller opens them: 20 ms playback buffers, or
// the long ones of [Audio] LongSoundBuffers.
paudio::StreamDescriptor descriptor(paudio::AudioType kind, int device, QIODevice *data, bool longBuffers)
{
    paudio::StreamDescriptor d = audiodevicetest::descriptor(kind, device, data);
    const bool shortBuffers = paudio::shortBuffers(kind, longBuffers);
    d.params.setFramesPerBuffer(paudio::framesPerBuffer(kRate, !shortBuffers));
    d.params.setSuggestedLatency(paudio::suggestedLatency(!shortBuffers));
    return d;
}

qint64 monotonicUs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

qint64 cpuUs()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return (qint64(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1000000 + u.ru_utime.tv_usec
        + u.ru_stime.tv_usec;
}

// The client side as the station controller runs it, against the simulator.
struct Station
{
    SimProcess sim;
    RtpThread rtp;
    AudioThread engine;
    QString error;

    bool start(int bufferedMs, bool withCapture, bool longBuffers = false)
    {
        if (!qEnvironmentVariableIsSet("BRELKO_AUDIO_READY")) {
            error = QStringLiteral("no virtual sound devices: run under scripts/with-test-env.sh");
            return false;
        }
        if (!sim.start()) {
            error = sim.lastError();
            return false;
        }
        rtp.setBufferedTime(bufferedMs);
        rtp.startStream(QStringLiteral("127.0.0.1"), sim.audioPort(), kRate);
        sim.run(QStringLiteral("audio target %1").arg(rtp.localPort()));
        const int speakers = findDevice(QStringLiteral("Speakers"), false);
        const int vcard = findDevice(QStringLiteral("e2eSoft VAudio"), false);
        const int mic = findDevice(QStringLiteral("Microphone"), true);
        if (speakers < 0 || vcard < 0 || mic < 0) {
            error = QStringLiteral("virtual devices missing");
            return false;
        }
        engine.addStream(descriptor(paudio::audioOut, speakers, rtp.outputBuffer(), longBuffers));
        engine.addStream(descriptor(paudio::audioOutVirtual, vcard, rtp.outputVirtualBuffer(), longBuffers));
        if (withCapture)
            engine.addStream(descriptor(paudio::audioIn, mic, rtp.inputBuffer(), longBuffers));
        engine.setOutputMode(paudio::Stereo);
        engine.setInput(paudio::audioIn);
        engine.launch();
        if (!engine.stream(paudio::audioOut)->isRunning()) {
            error = QStringLiteral("speakers did not open");
            return false;
        }
        return true;
    }
};

// Finds the first click in the speakers' recording after a point in time,
// and says when it was heard on the monotonic clock.
class ClickListener
{
public:
    bool start()
    {
        m_parec.setProgram(QStringLiteral("parec"));
        m_parec.setArguments({ QStringLiteral("-d"), QStringLiteral("spk.monitor"),
            QStringLiteral("--rate=12000"), QStringLiteral("--channels=2"), QStringLiteral("--format=s16le"),
            QStringLiteral("--raw"), QStringLiteral("--latency-msec=5") });
        m_parec.start(QIODevice::ReadOnly);
        return m_parec.waitForStarted(5000);
    }
    ~ClickListener()
    {
        m_parec.kill();
        m_parec.waitForFinished(5000);
    }
    // Throws away what is recorded during the next ms milliseconds.
    void drain(int ms)
    {
        const qint64 end = monotonicUs() + qint64(ms) * 1000;
        while (monotonicUs() < end) {
            m_parec.waitForReadyRead(20);
            m_parec.readAllStandardOutput();
        }
        m_pending.clear();
    }
    // Microseconds on the monotonic clock, or -1 after the time-out.
    qint64 waitForClick(int timeoutMs)
    {
        const qint64 end = monotonicUs() + qint64(timeoutMs) * 1000;
        while (monotonicUs() < end) {
            if (!m_parec.waitForReadyRead(100))
                continue;
            const qint64 arrived = monotonicUs();
            m_pending += m_parec.readAllStandardOutput();
            const int frames = m_pending.size() / 4;
            for (int f = 0; f < frames; ++f) {
                const qint16 l = qFromLittleEndian<qint16>(m_pending.constData() + 4 * f);
                if (qAbs(int(l)) > 10000) {
                    m_pending.clear();
                    // The last frame of the chunk is the newest one.
                    return arrived - qint64(frames - 1 - f) * 1000000 / kRate;
                }
            }
            m_pending.remove(0, frames * 4);
        }
        return -1;
    }

private:
    QProcess m_parec;
    QByteArray m_pending;
};

// When the simulator sent click number index, and the timestamp of its datagram.
qint64 clickSentUs(SimProcess &sim, int index, quint32 *ts = nullptr)
{
    static const QRegularExpression re(QStringLiteral("ts=(\\d+) us=(\\d+)"));
    const QStringList clicks = sim.command(QStringLiteral("audio clicks"));
    if (index >= clicks.size())
        return -1;
    const QRegularExpressionMatch m = re.match(clicks.at(index));
    if (ts && m.hasMatch())
        *ts = m.captured(1).toUInt();
    return m.hasMatch() ? m.captured(2).toLongLong() : -1;
}

// Click to speaker, split into: datagram arrival to the jitter buffer (sent
// by the simulator to written), the buffer's wait (written to read by the
// playback callback), callback to DAC (PortAudio's outputBufferDacTime), and
// the rest: the sound server and the recording of its monitor.
void BM_ReceiveLatency(benchmark::State &state)
{
    const int buffered = int(state.range(0));
    const bool longBuffers = state.range(1) != 0;
    Station station;
    ClickListener ear;
    if (!station.start(buffered, false, longBuffers) || !ear.start()) {
        state.SkipWithError(qPrintable(station.error.isEmpty() ? QStringLiteral("parec") : station.error));
        return;
    }
    auto *jb = qobject_cast<RtpFixedJb *>(station.rtp.outputBuffer());
    PAudioAbstract *speakers = station.engine.stream(paudio::audioOut);
    // Silence first, so the playout is settled and the tones are gone.
    station.sim.run(QStringLiteral("audio click"));
    ear.waitForClick(3000 + buffered);
    ear.drain(300);
    const quint64 flagsStart = speakers->statusFlagCount();

    int clicks = 1;
    double total = 0;
    double shortest = 0, longest = 0;
    double arrival = 0, wait = 0;
    int split = 0;
    int measured = 0;
    for (auto _ : state) {
        station.sim.run(QStringLiteral("audio click"));
        const qint64 heard = ear.waitForClick(3000 + buffered);
        quint32 ts = 0;
        const qint64 sent = clickSentUs(station.sim, clicks++, &ts);
        if (heard < 0 || sent < 0) {
            state.SkipWithError("click not heard");
            break;
        }
        const double seconds = double(heard - sent) / 1e6;
        state.SetIterationTime(seconds);
        total += seconds;
        shortest = measured ? std::min(shortest, seconds) : seconds;
        longest = std::max(longest, seconds);
        ++measured;
        qint64 writtenNs = -1, readNs = -1;
        if (jb && jb->stamps(ts, &writtenNs, &readNs)) {
            arrival += double(writtenNs / 1000 - sent) / 1e3;
            wait += double(readNs - writtenNs) / 1e6;
            ++split;
        }
        // Space the clicks so each one is alone in the buffer.
        ear.drain(200);
    }
    const double mean = measured ? total / measured * 1000 : 0;
    const double toDac = speakers->callbackToDacMs();
    state.counters["buffered_ms"] = buffered;
    state.counters["long_buffers"] = longBuffers ? 1 : 0;
    state.counters["latency_ms"] = mean;
    state.counters["latency_min_ms"] = shortest * 1000;
    state.counters["latency_max_ms"] = longest * 1000;
    state.counters["clicks"] = measured;
    state.counters["arrival_ms"] = split ? arrival / split : -1;
    state.counters["buffer_wait_ms"] = split ? wait / split : -1;
    state.counters["callback_to_dac_ms"] = toDac;
    state.counters["stream_latency_ms"] = speakers->streamLatencyMs();
    state.counters["server_ms"] = split && toDac >= 0 ? mean - (arrival + wait) / split - toDac : -1;
    state.counters["underflow_flags"] = double(speakers->statusFlagCount() - flagsStart);
    station.engine.stop();
}
BENCHMARK(BM_ReceiveLatency)
    ->ArgNames({ "buffered", "long" })
    ->Args({ 60, 0 })
    ->Args({ 200, 0 })
    ->Args({ 400, 0 })
    ->Args({ 800, 0 })
    ->Args({ 200, 1 })
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The shortest useful buffering streamed for a minute: underflows flagged by
// PortAudio, and datagrams the jitter buffer had to refuse or conceal.
void BM_Underruns(benchmark::State &state)
{
    const int buffered = int(state.range(0));
    const int seconds = int(state.range(1));
    Station station;
    if (!station.start(buffered, true)) {
        state.SkipWithError(qPrintable(station.error));
        return;
    }
    auto *jb = qobject_cast<RtpFixedJb *>(station.rtp.outputBuffer());
    PAudioAbstract *speakers = station.engine.stream(paudio::audioOut);
    QThread::msleep(2000);
    const quint64 flags0 = speakers->statusFlagCount();
    const QVector<quint32> stats0 = jb->statisticsCounter()->values();
    for (auto _ : state) {
        QThread::msleep(ulong(seconds) * 1000);
        state.SetIterationTime(seconds);
    }
    const QVector<quint32> stats = jb->statisticsCounter()->values();
    state.counters["buffered_ms"] = buffered;
    state.counters["seconds"] = seconds;
    state.counters["underflow_flags"] = double(speakers->statusFlagCount() - flags0);
    state.counters["late"] = stats.at(RtpStatistics::TotalLate) - stats0.at(RtpStatistics::TotalLate);
    state.counters["received"]
        = stats.at(RtpStatistics::TotalReceived) - stats0.at(RtpStatistics::TotalReceived);
    state.counters["stream_latency_ms"] = speakers->streamLatencyMs();
    station.engine.stop();
}
BENCHMARK(BM_Underruns)
    ->ArgNames({ "buffered", "seconds" })
    ->Args({ 60, 60 })
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ClientCpuPerSecond(benchmark::State &state)
{
    Station station;
    if (!station.start(200, true)) {
        state.SkipWithError(qPrintable(station.error));
        return;
    }
    station.rtp.setTransmitMode(true);
    // Past the streams' start-up, whose buffer fills are not steady streaming.
    QThread::msleep(2000);
    double cpuPerSecond = 0;
    double lowest = 0, highest = 0;
    int rounds = 0;
    for (auto _ : state) {
        const qint64 cpu0 = cpuUs();
        const qint64 wall0 = monotonicUs();
        // The streams run on their own threads; this one just waits.
        QThread::msleep(2000);
        const double wall = double(monotonicUs() - wall0);
        const double cpu = double(cpuUs() - cpu0);
        state.SetIterationTime(wall / 1e6);
        const double perSecond = cpu / wall * 1000;
        cpuPerSecond += perSecond;
        lowest = rounds ? std::min(lowest, perSecond) : perSecond;
        highest = std::max(highest, perSecond);
        ++rounds;
    }
    state.counters["cpu_ms_per_s"] = rounds ? cpuPerSecond / rounds : 0;
    state.counters["cpu_min_ms_per_s"] = lowest;
    state.counters["cpu_max_ms_per_s"] = highest;
    const int received = station.sim.command(QStringLiteral("audio"))
                             .value(0)
                             .section(QStringLiteral("received="), 1)
                             .section(QLatin1Char(' '), 0, 0)
                             .toInt();
    state.counters["datagrams_to_box"] = received;
    station.engine.stop();
}
BENCHMARK(BM_ClientCpuPerSecond)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
