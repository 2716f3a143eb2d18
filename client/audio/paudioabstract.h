#pragma once

#include "client/audio/paudio.h"
#include "client/audio/streampacer.h"

#include <QObject>
#include <QSemaphore>
#include <QVector>

#include <array>
#include <atomic>

#include <portaudio.h>

class QIODevice;

namespace morvex {

class SelfControl;

// One PortAudio stream of the engine: capture into the send buffer or
// playback from a jitter buffer, with the test tone and peak meters.
class PAudioAbstract : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PAudioAbstract)

public:
    // monitor is kept for the main playback stream only.
    explicit PAudioAbstract(const paudio::StreamDescriptor &descriptor, SelfControl *monitor = nullptr,
        QObject *parent = nullptr);
    ~PAudioAbstract() override;

    virtual bool launch();
    void stop();
    bool isRunning() const { return m_stream.load() != nullptr; }

    // Peaks of the last buffer, one per channel (the first kMaxMetered
    // measured, any further ones 0).
    QVector<int> levels() const;
    paudio::AudioType kind() const { return m_descriptor.kind; }
    const paudio::StreamDescriptor &descriptor() const { return m_descriptor; }
    paudio::OutputMode outputMode() const { return paudio::OutputMode(m_outputMode.load()); }
    bool isToneEnabled() const { return m_tone.load(); }
    bool isCapture() const;
    // Buffers PortAudio flagged as underflow or overflow since the launch.
    quint64 statusFlagCount() const { return m_statusFlags.load(); }
    // What PortAudio reports of the open stream: its latency, and for
    // playback how long after the callback its buffer reaches the DAC (mean).
    double streamLatencyMs() const { return m_streamLatencyMs.load(); }
    double callbackToDacMs() const;

    // The process-wide active input; only its capture stream feeds the
    // send buffer. Lock-free: every capture callback reads it, and a stop
    // must never wait for a lock that another stream's callback holds.
    static void setActiveInput(int kind);
    static int activeInput();

    static QList<paudio::DeviceRecord> deviceList();
    static paudio::DeviceRecord defaultInputDevice(bool *found);
    static paudio::DeviceRecord defaultOutputDevice(bool *found);

    // One playback buffer in place: the channel mix and the per-channel
    // peaks of count bytes of interleaved stereo.
    static void applyOutputMode(qint16 *samples, qint64 count, int mode);
    // Largest 16-bit magnitude among every stride-th sample from first.
    static int peak(const qint16 *samples, qint64 count, int first, int stride);

    static constexpr int kMaxMetered = 8;

public slots:
    void setOutputMode(paudio::OutputMode mode);
    void enableTone(bool enable);

private:
    static int captureCallback(const void *input, void *output, unsigned long frames,
        const PaStreamCallbackTimeInfo *time, PaStreamCallbackFlags status, void *user);
    static int playbackCallback(const void *input, void *output, unsigned long frames,
        const PaStreamCallbackTimeInfo *time, PaStreamCallbackFlags status, void *user);
    static void finishedCallback(void *user);

    int capture(const qint16 *input, unsigned long frames);
    int playback(qint16 *output, unsigned long frames, PaStreamCallbackFlags status);
    void noteDacTime(const PaStreamCallbackTimeInfo *time);
    // Sleeps in the callback's own thread while the stream runs ahead of
    // the wall clock.
    void pace(unsigned long frames);
    void clearLevels();
    void setLevel(int channel, int value);

    paudio::StreamDescriptor m_descriptor;
    SelfControl *m_monitor = nullptr;
    std::atomic<PaStream *> m_stream { nullptr };
    // Ends a pacing wait at once when the stream stops.
    std::atomic<bool> m_stopping { false };
    StreamPacer m_pacer;
    PaStreamParameters m_parameters {};
    std::atomic<int> m_outputMode { paudio::MainRx };
    std::atomic<bool> m_tone { false };
    int m_toneDegrees = 0;
    int m_tonePeriod = 0;
    int m_tonePhase = 0;
    int m_channels = 1;
    int m_framesPerBuffer = 0;
    qint64 m_bytesPerBuffer = 0;
    QVector<qint16> m_work;
    // Atomics, not a mutex: the GUI thread reading the meters must never
    // hold up a callback.
    std::array<std::atomic<int>, kMaxMetered> m_levels {};
    std::atomic<int> m_levelCount { 0 };
    std::atomic<quint64> m_statusFlags { 0 };
    std::atomic<double> m_streamLatencyMs { 0 };
    std::atomic<qint64> m_dacSumUs { 0 };
    std::atomic<qint64> m_dacCount { 0 };
    QSemaphore m_finished;
};

} // namespace morvex
