#pragma once

#include "client/audio/paudio.h"
#include "client/prefs/abstracttab.h"

#include <functional>

class QComboBox;
class QLabel;
class QSlider;

namespace morvex {

// Sound devices, receive buffering, rate and codec; finds the virtual sound card.
class AudioTab final : public AbstractTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AudioTab)

public:
    using DeviceSource = std::function<QList<paudio::DeviceRecord>()>;

    static const QString &virtualCardPattern();

    // source: where the device list comes from (the sound engine by default).
    explicit AudioTab(QWidget *parent = nullptr, DeviceSource source = DeviceSource());

    int inputDevice() const;
    int outputDevice() const;
    int virtualInput() const { return m_virtualIn; }
    int virtualOutput() const { return m_virtualOut; }
    int sampleRate() const;
    int codec() const;
    int rxBuffering() const;

    QComboBox *inputCombo() const { return m_input; }
    QComboBox *outputCombo() const { return m_output; }
    QSlider *bufferSlider() const { return m_buffer; }
    QString bufferLabelText() const;

signals:
    void reloadAudioDevice();

public slots:
    void setBufferSize(int value);
    void advancedSettings();
    void rescan();
    void refresh() override;
    void saveSettings() override;
    void loadSettings() override;

protected:
    QStringList stateFields() const override;
    void applyFields(const QStringList &fields) override;

private:
    static bool select(QComboBox *combo, const QString &text);

    DeviceSource m_source;
    QComboBox *m_input;
    QComboBox *m_output;
    QSlider *m_buffer;
    QLabel *m_bufferValue;
    QComboBox *m_rate;
    QComboBox *m_codec;
    int m_virtualIn = -1;
    int m_virtualOut = -1;
    // The sound server's default devices, for settings that name none we have.
    QString m_defaultIn;
    QString m_defaultOut;
};

} // namespace morvex
