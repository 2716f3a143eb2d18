#pragma once

#include "client/audio/paudio.h"

#include <QHostAddress>
#include <QObject>
#include <QVector>

#include <array>

namespace morvex {

class AudioThread;
class RtpThread;
class SelfControl;

// Where the station's audio goes: the streaming thread, the sound engine and
// the four streams between them, keyed by kind. The receiver selection has
// its one owner here; it is remembered across restarts and kept for the
// streams every apply makes anew.
class AudioRouting final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AudioRouting)

public:
    // What the Audio and Network tabs chose.
    struct Devices
    {
        int input = -1;
        int virtualInput = -1;
        int output = -1;
        int virtualOutput = -1;
        int sampleRate = 12000;
        int rxBufferingMs = 200;
        // [Audio] LongSoundBuffers=true: 100 ms device buffers for sound
        // systems that cannot keep up with 20 ms ones.
        bool longBuffers = false;
    };

    explicit AudioRouting(QObject *parent = nullptr);
    ~AudioRouting() override;

    AudioThread *engine() const { return m_engine; }
    RtpThread *streaming() const { return m_rtp; }
    const paudio::StreamDescriptor &stream(paudio::AudioType kind) const;
    bool hasDevices() const { return stream(paudio::audioOut).paIndex >= 0; }

    void setDevices(const Devices &devices);
    // Closes the sound streams (the streaming thread goes on).
    void stopStreams();
    // Starts the (stopped) streaming thread on a local port and feeds the
    // streams from it.
    void startStreaming(quint16 port);
    // Opens the four streams on the current devices.
    void rebuildStreams();
    void setDestination(const QHostAddress &address, quint16 port);
    // Everything, at exit.
    void stopAll();

    paudio::OutputMode outputMode() const { return m_mode; }
    static paudio::OutputMode storedOutputMode();

    // The microphone while the box transmits, the virtual card otherwise.
    void setTransmitting(bool on);
    void setInput(paudio::AudioType kind);
    void setTransmitMode(bool on);
    void enableTone(bool on);
    QVector<int> levels() const;

public slots:
    void setOutputMode(paudio::OutputMode mode);

private:
    paudio::StreamDescriptor &slot(paudio::AudioType kind);

    static constexpr paudio::AudioType kKinds[]
        = { paudio::audioIn, paudio::audioInVirtual, paudio::audioOut, paudio::audioOutVirtual };
    AudioThread *m_engine;
    RtpThread *m_rtp;
    SelfControl *m_selfControl;
    std::array<paudio::StreamDescriptor, 4> m_streams;
    paudio::OutputMode m_mode;
};

} // namespace morvex
