#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

class QIODevice;

namespace morvex {

namespace paudio {

enum AudioType { audioIn = 1, audioOut = 2, audioInVirtual = 3, audioOutVirtual = 4, audioAll = 5 };

// 0: Main RX on both ears, 1: Sub RX on both, anything else: stereo as received.
enum OutputMode { MainRx = 0, SubRx = 1, Stereo = 2 };

class AudioParameters
{
public:
    int device() const { return m_device; }
    void setDevice(int device) { m_device = device; }
    double sampleRate() const { return m_sampleRate; }
    void setSampleRate(double rate) { m_sampleRate = rate; }
    double suggestedLatency() const { return m_latency; }
    void setSuggestedLatency(double seconds) { m_latency = seconds; }
    int framesPerBuffer() const { return m_frames; }
    void setFramesPerBuffer(int frames) { m_frames = frames; }
    int channels() const { return m_channels; }
    void setChannels(int channels) { m_channels = channels; }

private:
    int m_device = 0;
    double m_sampleRate = 16000.0;
    double m_latency = 0.0;
    int m_frames = 160;
    int m_channels = 1;
};

// What the station controller hands the engine for one stream.
struct StreamDescriptor
{
    AudioType kind = audioIn;
    int paIndex = -1;
    AudioParameters params;
    QIODevice *data = nullptr;
    bool valid() const { return kind >= audioIn && kind <= audioOutVirtual && paIndex >= 0 && data; }
};

// One usable PortAudio device.
struct DeviceRecord
{
    int index = -1;
    bool isInput = false;
    bool isDefault = false;
    double defaultSampleRate = 0.0;
    int defaultLowInputLatency = 0;
    int defaultHighInputLatency = 0;
    int defaultLowOutputLatency = 0;
    int defaultHighOutputLatency = 0;
    int channels = 0;
    QString hostApi;
    QString name;
    QList<double> sampleRates;
};

// The sample rates every device is offered with.
const QList<double> &standardSampleRates();

} // namespace paudio

} // namespace morvex

Q_DECLARE_METATYPE(morvex::paudio::OutputMode)
Q_DECLARE_METATYPE(morvex::paudio::AudioType)
