#include "client/audio/audiothread.h"

#include "client/audio/paudioabstract.h"
#include "client/audio/selfcontrol.h"

#include <QMetaType>

namespace morvex {

AudioThread::AudioThread(QObject *parent)
    : QObject(parent)
{
    // The slots are reached through queued connections from other threads.
    qRegisterMetaType<paudio::AudioType>("paudio::AudioType");
    qRegisterMetaType<paudio::OutputMode>("paudio::OutputMode");
}

AudioThread::~AudioThread()
{
    removeStream(paudio::audioAll);
}

PAudioAbstract *&AudioThread::slot(paudio::AudioType kind)
{
    switch (kind) {
    case paudio::audioIn:
        return m_in;
    case paudio::audioOut:
        return m_out;
    case paudio::audioInVirtual:
        return m_inVirtual;
    case paudio::audioOutVirtual:
        return m_outVirtual;
    default:
        m_none = nullptr;
        return m_none;
    }
}

PAudioAbstract *AudioThread::stream(paudio::AudioType kind) const
{
    return const_cast<AudioThread *>(this)->slot(kind);
}

bool AudioThread::addStream(const paudio::StreamDescriptor &descriptor, SelfControl *monitor)
{
    if (descriptor.kind < paudio::audioIn || descriptor.kind > paudio::audioOutVirtual)
        return false;
    PAudioAbstract *&s = slot(descriptor.kind);
    if (s)
        return false;
    s = new PAudioAbstract(descriptor, monitor, this);
    if (descriptor.kind == paudio::audioOut || descriptor.kind == paudio::audioOutVirtual)
        s->setOutputMode(m_outputMode);
    else
        s->enableTone(m_tone);
    return true;
}

void AudioThread::removeStream(paudio::AudioType kind)
{
    if (kind == paudio::audioAll) {
        for (auto k : { paudio::audioIn, paudio::audioInVirtual, paudio::audioOut, paudio::audioOutVirtual })
            removeStream(k);
        return;
    }
    PAudioAbstract *&s = slot(kind);
    if (!s)
        return;
    s->stop();
    delete s;
    s = nullptr;
}

void AudioThread::launch()
{
    for (auto k : { paudio::audioInVirtual, paudio::audioIn, paudio::audioOut, paudio::audioOutVirtual }) {
        // A device that fails to open leaves the others running.
        if (PAudioAbstract *s = slot(k))
            s->launch();
    }
}

void AudioThread::stop()
{
    for (auto k : { paudio::audioIn, paudio::audioInVirtual, paudio::audioOut, paudio::audioOutVirtual }) {
        if (PAudioAbstract *s = slot(k))
            s->stop();
    }
}

void AudioThread::setInput(paudio::AudioType kind)
{
    PAudioAbstract::setActiveInput(int(kind));
}

void AudioThread::setOutputMode(paudio::OutputMode mode)
{
    m_outputMode = mode;
    if (m_out)
        m_out->setOutputMode(mode);
    if (m_outVirtual)
        m_outVirtual->setOutputMode(mode);
}

void AudioThread::enableTone(bool enable)
{
    m_tone = enable;
    if (m_in)
        m_in->enableTone(enable);
    if (m_inVirtual)
        m_inVirtual->enableTone(enable);
}

QVector<int> AudioThread::levels() const
{
    QVector<int> result(3, 0);
    const int active = PAudioAbstract::activeInput();
    PAudioAbstract *in = nullptr;
    if (active == paudio::audioIn)
        in = m_in;
    else if (active == paudio::audioInVirtual)
        in = m_inVirtual;
    if (in) {
        const QVector<int> l = in->levels();
        result[0] = l.value(0);
    }
    if (m_out) {
        const QVector<int> l = m_out->levels();
        result[1] = l.value(0);
        result[2] = l.value(1);
    }
    return result;
}

} // namespace morvex
