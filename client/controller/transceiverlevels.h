#pragma once

#include <QGroupBox>

class QLabel;
class QSlider;

namespace morvex {

// The "Transceiver levels" group: the two receivers' input levels and the
// transmit level, as sliders with their decibel texts. Slider moves are the
// operator's; set* shows what the box reports without echoing it back.
class TransceiverLevels final : public QGroupBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransceiverLevels)

public:
    explicit TransceiverLevels(QWidget *parent = nullptr);

    QSlider *inputSliderL() const { return m_inSliderL; }
    QSlider *inputSliderR() const { return m_inSliderR; }
    QSlider *outputSlider() const { return m_outSlider; }
    QString inputTextL() const;
    QString inputTextR() const;
    QString outputText() const;

    // Which receivers' controls are live.
    void setReceivers(bool mainOn, bool subOn);
    void retranslate();

signals:
    void inLevelLChanged(quint32 code);
    void inLevelRChanged(quint32 code);
    void outLevelChanged(quint32 code);
    // The transmit level shown, whoever set it.
    void outLevelShown(int code);

public slots:
    void changeInputLevelL(int value);
    void changeInputLevelR(int value);
    void changeOutputLevel(int value);
    void setInLevelL(quint32 code);
    void setInLevelR(quint32 code);
    void setOutLevel(quint32 code);

private:
    QLabel *m_subLabel;
    QLabel *m_mainLabel;
    QLabel *m_txLabel;
    QSlider *m_inSliderL;
    QSlider *m_inSliderR;
    QSlider *m_outSlider;
    QLabel *m_inTextL;
    QLabel *m_inTextR;
    QLabel *m_outText;
};

} // namespace morvex
