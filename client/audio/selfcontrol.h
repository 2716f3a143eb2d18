#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QVector>

#include <mutex>

namespace morvex {

Q_DECLARE_LOGGING_CATEGORY(lcSelfControl)

// Local monitor source of the main playback stream. It is configured with
// the playback format and a tone, but hands out no samples: playback always
// carries the received audio.
class SelfControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SelfControl)

public:
    static constexpr int kMaxSampleRate = 48000;
    static constexpr int kMaxChannels = 8;
    static constexpr int kMaxSamplesInBuffer = 12000;
    static constexpr int kMaxVolume = 100;

    explicit SelfControl(QObject *parent = nullptr);

    void setFormat(int sampleRate, int channels, int samplesInBuffer, int volume);
    void setToneFrequency(int hz);

    // Asked by the playback callback on every buffer.
    QByteArray monitorData() const;

    int sampleRate() const;
    int channels() const;
    int samplesInBuffer() const;
    int toneFrequency() const;
    int amplitude() const;
    QVector<qint16> toneTable() const;

public slots:
    void setWaveVolume(int volume);

private:
    void applyVolume(int volume);
    void rebuildTable();

    mutable std::mutex m_mutex;
    int m_sampleRate = 0;
    int m_channels = 2;
    int m_samplesInBuffer = 0;
    int m_toneFrequency = 900;
    int m_amplitude = 32767;
    QVector<qint16> m_table;
};

} // namespace morvex
