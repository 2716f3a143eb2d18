#include "client/controller/audiorouting.h"

#include "client/Rtp/rtpthread.h"
#include "client/audio/audiothread.h"
#include "client/audio/bufferplan.h"
#include "client/audio/selfcontrol.h"
#include "common/settings.h"

using namespace brelko;

namespace morvex {

AudioRouting::AudioRouting(QObject *parent)
    : QObject(parent)
    , m_engine(new AudioThread(this))
    , m_rtp(new RtpThread(this))
    , m_selfControl(new SelfControl(this))
    , m_mode(storedOutputMode())
{
    for (size_t i = 0; i < m_streams.size(); ++i)
        m_streams[i].kind = kKinds[i];
    m_engine->setOutputMode(m_mode);
}

AudioRouting::~AudioRouting()
{
    stopAll();
}

paudio::StreamDescriptor &AudioRouting::slot(paudio::AudioType kind)
{
    for (paudio::StreamDescriptor &d : m_streams) {
        if (d.kind == kind)
            return d;
    }
    Q_UNREACHABLE();
}

const paudio::StreamDescriptor &AudioRouting::stream(paudio::AudioType kind) const
{
    return const_cast<AudioRouting *>(this)->slot(kind);
}

void AudioRouting::setDevices(const Devices &devices)
{
    const int rate = devices.sampleRate > 0 ? devices.sampleRate : 12000;
    for (paudio::StreamDescriptor &d : m_streams) {
        const int index = d.kind == paudio::audioIn ? devices.input
            : d.kind == paudio::audioInVirtual      ? devices.virtualInput
            : d.kind == paudio::audioOut            ? devices.output
                                                    : devices.virtualOutput;
        d.paIndex = index;
        d.params.setDevice(index);
        d.params.setSampleRate(rate);
        const bool longBuffers = !paudio::shortBuffers(d.kind, devices.longBuffers);
        d.params.setFramesPerBuffer(paudio::framesPerBuffer(rate, longBuffers));
        d.params.setSuggestedLatency(paudio::suggestedLatency(longBuffers));
        d.params.setChannels(d.kind == paudio::audioOut || d.kind == paudio::audioOutVirtual ? 2 : 1);
    }
    m_rtp->setBufferedTime(devices.rxBufferingMs);
    // The monitor follows the main output's format.
    m_selfControl->setFormat(rate, 2, slot(paudio::audioOut).params.framesPerBuffer(), 100);
    m_selfControl->setToneFrequency(900);
}

void AudioRouting::stopStreams()
{
    m_engine->stop();
    m_engine->removeStream(paudio::audioAll);
}

void AudioRouting::startStreaming(quint16 port)
{
    // The box's address is known once its name is looked up.
    m_rtp->startStream(QHostAddress(), port, qint32(slot(paudio::audioOut).params.sampleRate()));
    slot(paudio::audioIn).data = m_rtp->inputBuffer();
    slot(paudio::audioInVirtual).data = m_rtp->inputBuffer();
    slot(paudio::audioOut).data = m_rtp->outputBuffer();
    slot(paudio::audioOutVirtual).data = m_rtp->outputVirtualBuffer();
}

void AudioRouting::rebuildStreams()
{
    // Before the first network apply the streams have no data device: they play silence.
    for (const paudio::StreamDescriptor &d : m_streams)
        m_engine->addStream(d, d.kind == paudio::audioOut ? m_selfControl : nullptr);
    m_engine->launch();
}

void AudioRouting::setDestination(const QHostAddress &address, quint16 port)
{
    m_rtp->setDestination(address, port);
}

void AudioRouting::stopAll()
{
    m_engine->removeStream(paudio::audioAll);
    m_rtp->stop();
}

paudio::OutputMode AudioRouting::storedOutputMode()
{
    // Absent or unreadable means Main RX, which suits radios with one receiver.
    bool ok = false;
    const int stored = Settings::instance()->value(Settings::OutputMode, Settings::Audio).toInt(&ok);
    return ok && stored >= paudio::MainRx && stored <= paudio::Stereo ? paudio::OutputMode(stored)
                                                                      : paudio::MainRx;
}

void AudioRouting::setOutputMode(paudio::OutputMode mode)
{
    m_mode = mode;
    // The engine keeps the mode for the streams every apply creates anew.
    m_engine->setOutputMode(mode);
    if (storedOutputMode() != mode)
        Settings::instance()->setValue(Settings::OutputMode, Settings::Audio, int(mode));
}

void AudioRouting::setTransmitting(bool on)
{
    m_engine->setInput(on ? paudio::audioIn : paudio::audioInVirtual);
}

void AudioRouting::setInput(paudio::AudioType kind)
{
    m_engine->setInput(kind);
}

void AudioRouting::setTransmitMode(bool on)
{
    m_rtp->setTransmitMode(on);
}

void AudioRouting::enableTone(bool on)
{
    m_engine->enableTone(on);
}

QVector<int> AudioRouting::levels() const
{
    return m_engine->levels();
}

} // namespace morvex
