#include "client/audio/paudioabstract.h"

#include "client/audio/paudiodevices.h"
#include "client/audio/portaudiouse.h"
#include "client/audio/selfcontrol.h"
#include "platform/threadpriority.h"

#include <QDebug>
#include <QIODevice>
#include <QThread>

#include <cmath>
#include <cstring>

#include <pthread.h>
#include <time.h>

namespace morvex {

namespace {
constexpr double kPi = 3.14159265358979323846;
// How long stop() waits for PortAudio to report the stream finished.
constexpr int kFinishWaitMs = 5000;
// A pacing wait sleeps in slices this long, so a stop ends it quickly.
constexpr qint64 kPaceSliceNs = 20'000'000;

std::atomic<int> g_activeInput { 0 };

void raisePriority()
{
    QThread *thread = QThread::currentThread();
    if (thread->priority() != QThread::TimeCriticalPriority) {
        thread->setPriority(QThread::TimeCriticalPriority);
        // Qt's levels do not reach the scheduler here; ask for real time.
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    }
}
} // namespace

PAudioAbstract::PAudioAbstract(
    const paudio::StreamDescriptor &descriptor, SelfControl *monitor, QObject *parent)
    : QObject(parent)
    , m_descriptor(descriptor)
    , m_monitor(descriptor.kind == paudio::audioOut ? monitor : nullptr)
{
}

PAudioAbstract::~PAudioAbstract()
{
    stop();
}

bool PAudioAbstract::isCapture() const
{
    return m_descriptor.kind == paudio::audioIn || m_descriptor.kind == paudio::audioInVirtual;
}

void PAudioAbstract::setActiveInput(int kind)
{
    g_activeInput.store(kind);
}

int PAudioAbstract::activeInput()
{
    return g_activeInput.load();
}

QList<paudio::DeviceRecord> PAudioAbstract::deviceList()
{
    return PAudioDevices::deviceList();
}

paudio::DeviceRecord PAudioAbstract::defaultInputDevice(bool *found)
{
    return PAudioDevices::defaultInputDevice(found);
}

paudio::DeviceRecord PAudioAbstract::defaultOutputDevice(bool *found)
{
    return PAudioDevices::defaultOutputDevice(found);
}

void PAudioAbstract::setOutputMode(paudio::OutputMode mode)
{
    m_outputMode.store(int(mode));
}

void PAudioAbstract::enableTone(bool enable)
{
    m_tone.store(enable);
}

QVector<int> PAudioAbstract::levels() const
{
    QVector<int> out(m_levelCount.load(), 0);
    for (int c = 0; c < out.size() && c < kMaxMetered; ++c)
        out[c] = m_levels[size_t(c)].load(std::memory_order_relaxed);
    return out;
}

void PAudioAbstract::clearLevels()
{
    for (std::atomic<int> &l : m_levels)
        l.store(0, std::memory_order_relaxed);
}

void PAudioAbstract::setLevel(int channel, int value)
{
    if (channel >= 0 && channel < kMaxMetered)
        m_levels[size_t(channel)].store(value, std::memory_order_relaxed);
}

bool PAudioAbstract::launch()
{
    if (m_stream.load())
        return false;
    const paudio::AudioParameters &p = m_descriptor.params;
    // A buffer size of zero lets PortAudio vary the callback size, which
    // the fixed-size writes into the send buffer cannot follow.
    if (p.channels() <= 0 || p.framesPerBuffer() <= 0 || p.sampleRate() <= 0
        || m_descriptor.kind < paudio::audioIn || m_descriptor.kind > paudio::audioOutVirtual) {
        qWarning() << "PAudioAbstract::launch(); bad stream parameters for stream" << int(m_descriptor.kind);
        return false;
    }
    PaError err = PortAudioUse::acquire();
    if (err != paNoError) {
        qWarning() << "PAudioAbstract::launch();" << Pa_GetErrorText(err);
        return false;
    }
    if (m_descriptor.paIndex < 0 || m_descriptor.paIndex >= Pa_GetDeviceCount()) {
        qWarning() << "PAudioAbstract::launch(); no device" << m_descriptor.paIndex;
        PortAudioUse::release();
        return false;
    }

    m_parameters = PaStreamParameters {};
    m_parameters.device = m_descriptor.paIndex;
    m_parameters.channelCount = p.channels();
    m_parameters.sampleFormat = paInt16;
    m_parameters.suggestedLatency = p.suggestedLatency();
    m_parameters.hostApiSpecificStreamInfo = nullptr;
    m_channels = p.channels();
    m_framesPerBuffer = p.framesPerBuffer();
    m_bytesPerBuffer = qint64(m_framesPerBuffer) * m_channels * 2;

    const bool capture = isCapture();
    const PaStreamParameters *in = capture ? &m_parameters : nullptr;
    const PaStreamParameters *out = capture ? nullptr : &m_parameters;
    err = Pa_IsFormatSupported(in, out, p.sampleRate());
    if (err != paFormatIsSupported) {
        // Named, with what was asked, so the operator can pick another rate or device.
        const PaDeviceInfo *info = Pa_GetDeviceInfo(m_descriptor.paIndex);
        qWarning().noquote()
            << QStringLiteral("PAudioAbstract::launch(); device \"%1\" refuses %2 Hz, %3 %4: %5")
                   .arg(info ? QString::fromLocal8Bit(info->name) : QString::number(m_descriptor.paIndex))
                   .arg(p.sampleRate())
                   .arg(p.channels())
                   .arg(p.channels() == 1 ? QStringLiteral("channel") : QStringLiteral("channels"))
                   .arg(QString::fromLatin1(Pa_GetErrorText(err)));
        PortAudioUse::release();
        return false;
    }

    clearLevels();
    m_levelCount.store(m_channels);
    m_statusFlags.store(0);
    // Allocated here so the callbacks never allocate.
    m_work = QVector<qint16>(int(m_bytesPerBuffer / 2), 0);
    if (capture) {
        m_tonePeriod = qMax(1, int(p.sampleRate()) / 1000);
        m_toneDegrees = 360 / m_tonePeriod;
        m_tonePhase = 0;
    }
    // A finish reported by an earlier run must not end the next stop early.
    while (m_finished.tryAcquire())
        ;

    PaStream *stream = nullptr;
    err = Pa_OpenStream(&stream, in, out, p.sampleRate(), (unsigned long)(m_framesPerBuffer), paNoFlag,
        capture ? &PAudioAbstract::captureCallback : &PAudioAbstract::playbackCallback, this);
    if (err == paNoError) {
        // A real device may hand over its whole buffer at once; only more
        // than that is running ahead.
        double buffering = m_framesPerBuffer / p.sampleRate();
        m_streamLatencyMs.store(0);
        if (const PaStreamInfo *info = Pa_GetStreamInfo(stream)) {
            buffering += capture ? info->inputLatency : info->outputLatency;
            m_streamLatencyMs.store((capture ? info->inputLatency : info->outputLatency) * 1000);
        }
        m_dacSumUs.store(0);
        m_dacCount.store(0);
        m_pacer.start(p.sampleRate(), qint64(buffering * 1e9));
        m_stopping.store(false);
        // Published before the start: the callback refuses to run without it.
        m_stream.store(stream);
        err = Pa_SetStreamFinishedCallback(stream, &PAudioAbstract::finishedCallback);
        if (err == paNoError)
            err = Pa_StartStream(stream);
        if (err == paNoError)
            return true;
        m_stream.store(nullptr);
        Pa_CloseStream(stream);
    }
    qWarning() << "PAudioAbstract::launch(); cannot start device" << m_descriptor.paIndex << ":"
               << Pa_GetErrorText(err);
    PortAudioUse::release();
    return false;
}

void PAudioAbstract::stop()
{
    PaStream *stream = m_stream.load();
    if (!stream)
        return;
    m_stopping.store(true);
    Pa_AbortStream(stream);
    m_stream.store(nullptr);
    if (!m_finished.tryAcquire(1, kFinishWaitMs))
        qWarning() << "PAudioAbstract::stop(); stream did not report its end";
    // Terminating alone would leave the stream open while other streams
    // still hold PortAudio.
    Pa_CloseStream(stream);
    PortAudioUse::release();
    clearLevels();
}

int PAudioAbstract::captureCallback(const void *input, void *, unsigned long frames,
    const PaStreamCallbackTimeInfo *, PaStreamCallbackFlags, void *user)
{
    auto *self = static_cast<PAudioAbstract *>(user);
    const int result = self->capture(static_cast<const qint16 *>(input), frames);
    if (result == paContinue)
        self->pace(frames);
    return result;
}

int PAudioAbstract::playbackCallback(const void *, void *output, unsigned long frames,
    const PaStreamCallbackTimeInfo *time, PaStreamCallbackFlags status, void *user)
{
    auto *self = static_cast<PAudioAbstract *>(user);
    self->noteDacTime(time);
    const int result = self->playback(static_cast<qint16 *>(output), frames, status);
    if (result == paContinue)
        self->pace(frames);
    return result;
}

void PAudioAbstract::noteDacTime(const PaStreamCallbackTimeInfo *time)
{
    // Some host APIs leave the times at 0.
    if (!time || time->outputBufferDacTime <= 0 || time->currentTime <= 0)
        return;
    const double ahead = time->outputBufferDacTime - time->currentTime;
    if (ahead < 0 || ahead > 10)
        return;
    m_dacSumUs.fetch_add(qint64(ahead * 1e6), std::memory_order_relaxed);
    m_dacCount.fetch_add(1, std::memory_order_relaxed);
}

double PAudioAbstract::callbackToDacMs() const
{
    const qint64 n = m_dacCount.load();
    return n > 0 ? double(m_dacSumUs.load()) / double(n) / 1000.0 : -1;
}

void PAudioAbstract::pace(unsigned long frames)
{
    const qint64 waitNs = m_pacer.delivered(StreamPacer::now(), qint64(frames));
    if (waitNs <= 0)
        return;
    // Sleeping, never spinning: the callback may run SCHED_FIFO. PortAudio's
    // abort cancels this thread; with cancellation held off the sleep ends
    // on m_stopping instead, and the cancel takes effect in PortAudio's loop.
    int cancelState = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState);
    const qint64 until = StreamPacer::now() + waitNs;
    while (!m_stopping.load()) {
        const qint64 left = until - StreamPacer::now();
        if (left <= 0)
            break;
        const qint64 slice = qMin(left, kPaceSliceNs);
        timespec ts {};
        ts.tv_sec = time_t(slice / 1'000'000'000);
        ts.tv_nsec = long(slice % 1'000'000'000);
        nanosleep(&ts, nullptr);
    }
    pthread_setcancelstate(cancelState, nullptr);
}

void PAudioAbstract::finishedCallback(void *user)
{
    static_cast<PAudioAbstract *>(user)->m_finished.release();
}

int PAudioAbstract::peak(const qint16 *samples, qint64 count, int first, int stride)
{
    int top = 0;
    for (qint64 i = first; i < count; i += stride) {
        // -32768 has no 16-bit magnitude and does not count.
        const int v = samples[i] == -32768 ? 0 : qAbs(int(samples[i]));
        if (v > top)
            top = v;
    }
    return top;
}

void PAudioAbstract::applyOutputMode(qint16 *samples, qint64 count, int mode)
{
    const qint64 pairs = count / 2;
    if (mode == paudio::MainRx) {
        for (qint64 i = 0; i < pairs; ++i)
            samples[2 * i + 1] = samples[2 * i];
    } else if (mode == paudio::SubRx) {
        for (qint64 i = 0; i < pairs; ++i)
            samples[2 * i] = samples[2 * i + 1];
    }
}

int PAudioAbstract::capture(const qint16 *input, unsigned long frames)
{
    raisePriority();
    if (!m_stream.load())
        return paAbort;

    // Another stream may become the active input while this buffer is
    // written; that costs one buffer of this input at most.
    if (g_activeInput.load() != m_descriptor.kind) {
        clearLevels();
        return paContinue;
    }

    const bool tone = m_tone.load();
    int peaks[kMaxMetered] = {};
    const int metered = qMin(m_channels, int(kMaxMetered));
    // PortAudio keeps to the buffer size asked for; should it ever hand more,
    // it is taken in buffer-sized pieces.
    unsigned long done = 0;
    while (done < frames) {
        const unsigned long n = qMin<unsigned long>(frames - done, (unsigned long)(m_framesPerBuffer));
        const qint64 samples = qint64(n) * m_channels;
        qint16 *work = m_work.data();
        if (input)
            std::memcpy(work, input + qint64(done) * m_channels, size_t(samples) * 2);
        else
            std::memset(work, 0, size_t(samples) * 2);
        if (tone) {
            for (unsigned long f = 0; f < n; ++f) {
                const auto v
                    = qint16(std::trunc(std::sin(m_toneDegrees * m_tonePhase * kPi / 180.0) * 32767.0));
                for (int c = 0; c < m_channels; ++c)
                    work[qint64(f) * m_channels + c] = v;
                if (++m_tonePhase >= m_tonePeriod)
                    m_tonePhase = 0;
            }
        }
        if (m_descriptor.data)
            m_descriptor.data->write(reinterpret_cast<const char *>(work), samples * 2);
        for (int c = 0; c < metered; ++c)
            peaks[c] = qMax(peaks[c], peak(work, samples, c, m_channels));
        done += n;
    }

    for (int c = 0; c < metered; ++c)
        setLevel(c, peaks[c]);
    return paContinue;
}

int PAudioAbstract::playback(qint16 *output, unsigned long frames, PaStreamCallbackFlags status)
{
    raisePriority();
    const qint64 bytes = qint64(frames) * m_channels * 2;
    char *out = reinterpret_cast<char *>(output);
    // Bytes after the last whole jitter-buffer frame are left as they were
    // by the reader: they must not carry stale audio.
    std::memset(out, 0, size_t(bytes));

    QIODevice *data = m_descriptor.data;
    // An underflow is a late buffer, not a broken stream: the jitter buffer
    // keeps its place and trims any delay a long stall left behind.
    if (status != 0)
        m_statusFlags.fetch_add(1, std::memory_order_relaxed);
    qint64 count = data ? data->read(out, bytes) : -1;

    if (m_monitor) {
        const QByteArray monitor = m_monitor->monitorData();
        if (!monitor.isEmpty()) {
            const qint64 n = qMin<qint64>(monitor.size(), bytes);
            std::memcpy(out, monitor.constData(), size_t(n));
            count = n;
        }
    }

    if (count <= 0) {
        std::memset(out, 0, size_t(bytes));
        clearLevels();
        return paContinue;
    }

    const qint64 samples = count / 2;
    if (m_channels == 2)
        applyOutputMode(output, samples, m_outputMode.load());

    for (int c = 0; c < m_channels && c < kMaxMetered; ++c)
        setLevel(c, peak(output, samples, c, m_channels));
    return paContinue;
}

} // namespace morvex
