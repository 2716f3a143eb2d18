#pragma once

#include "client/audio/paudio.h"

#include <QWidget>

class QLabel;

namespace morvex {

class StereoLevel;

// The headset's levels: what each ear plays (by the receiver selection) and
// the microphone.
class HeadsetPanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadsetPanel)

public:
    explicit HeadsetPanel(QWidget *parent = nullptr);

    void setReceiver(paudio::OutputMode mode);
    void setRxLevel(int channel, int level);
    void setMicLevel(int level);
    void retranslate();

private:
    QLabel *m_title;
    QLabel *m_headL;
    QLabel *m_headR;
    QLabel *m_micLabel;
    StereoLevel *m_rxLevels;
    StereoLevel *m_micLevel;
    paudio::OutputMode m_mode = paudio::Stereo;
};

} // namespace morvex
