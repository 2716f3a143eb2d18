#pragma once

#include "client/audio/paudio.h"

#include <QObject>
#include <QVector>

namespace morvex {

class PAudioAbstract;
class SelfControl;

// The sound engine: up to one stream of each kind, driven by the station
// controller.
class AudioThread final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AudioThread)

public:
    explicit AudioThread(QObject *parent = nullptr);
    ~AudioThread() override;

    bool addStream(const paudio::StreamDescriptor &descriptor, SelfControl *monitor = nullptr);
    void removeStream(paudio::AudioType kind);
    PAudioAbstract *stream(paudio::AudioType kind) const;

    // Active capture level, then the main output's left and right.
    QVector<int> levels() const;

public slots:
    void launch();
    void stop();
    void setInput(paudio::AudioType kind);
    void setOutputMode(paudio::OutputMode mode);
    void enableTone(bool enable);

private:
    PAudioAbstract *&slot(paudio::AudioType kind);

    PAudioAbstract *m_in = nullptr;
    PAudioAbstract *m_out = nullptr;
    PAudioAbstract *m_inVirtual = nullptr;
    PAudioAbstract *m_outVirtual = nullptr;
    PAudioAbstract *m_none = nullptr;
    // Kept here so streams created by a later rebuild play and send as chosen.
    paudio::OutputMode m_outputMode = paudio::MainRx;
    bool m_tone = false;
};

} // namespace morvex
