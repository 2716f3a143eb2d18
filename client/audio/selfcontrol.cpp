#include "client/audio/selfcontrol.h"

#include <QDebug>

#include <cmath>

namespace morvex {

Q_LOGGING_CATEGORY(lcSelfControl, "selfcontrol")

namespace {
constexpr double kPi = 3.14159265358979323846;
} // namespace

SelfControl::SelfControl(QObject *parent)
    : QObject(parent)
{
}

void SelfControl::setFormat(int sampleRate, int channels, int samplesInBuffer, int volume)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Zero and negative values would size the tone table below zero or
    // divide by zero; they are refused like values above the limits.
    if (sampleRate > 0 && sampleRate <= kMaxSampleRate) {
        m_sampleRate = sampleRate;
        qCDebug(lcSelfControl).noquote() << QStringLiteral("Set sample rate: %1").arg(sampleRate);
    } else {
        qCWarning(lcSelfControl).noquote() << QStringLiteral("Set WRONG sample rate: %1").arg(sampleRate);
    }
    if (channels > 0 && channels <= kMaxChannels) {
        m_channels = channels;
        qCDebug(lcSelfControl).noquote() << QStringLiteral("Set number of channels: %1").arg(channels);
    } else {
        qCWarning(lcSelfControl).noquote()
            << QStringLiteral("Set WRONG number of channels: %1").arg(channels);
    }
    if (samplesInBuffer > 0 && samplesInBuffer <= kMaxSamplesInBuffer) {
        m_samplesInBuffer = samplesInBuffer;
        qCDebug(lcSelfControl).noquote()
            << QStringLiteral("Set number of samples in buffer: %1").arg(samplesInBuffer);
    } else {
        qCWarning(lcSelfControl).noquote()
            << QStringLiteral("Set WRONG number of samples in buffer: %1").arg(samplesInBuffer);
    }
    applyVolume(volume);
    rebuildTable();
}

void SelfControl::setToneFrequency(int hz)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // The table holds sample rate / frequency samples: no frequency of zero.
    if (hz <= 0) {
        qCWarning(lcSelfControl).noquote() << QStringLiteral("Set WRONG tone frequency: %1").arg(hz);
        return;
    }
    m_toneFrequency = hz;
    qCDebug(lcSelfControl).noquote() << QStringLiteral("Set tone frequency: %1").arg(hz);
}

void SelfControl::setWaveVolume(int volume)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    applyVolume(volume);
}

void SelfControl::applyVolume(int volume)
{
    if (volume >= 0 && volume <= kMaxVolume) {
        m_amplitude = volume * 32767 / 100;
        qCDebug(lcSelfControl).noquote() << QStringLiteral("Set wave volume: %1").arg(m_amplitude);
    } else {
        qCWarning(lcSelfControl).noquote() << QStringLiteral("Set WRONG wave volume: %1").arg(volume);
    }
}

void SelfControl::rebuildTable()
{
    const int period = m_toneFrequency > 0 ? m_sampleRate / m_toneFrequency : 0;
    m_table.resize(qMax(period, 0));
    for (int i = 0; i < m_table.size(); ++i)
        m_table[i] = qint16(std::trunc(std::sin(i * kPi / period) * m_amplitude));
}

QByteArray SelfControl::monitorData() const
{
    return {};
}

int SelfControl::sampleRate() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sampleRate;
}

int SelfControl::channels() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_channels;
}

int SelfControl::samplesInBuffer() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_samplesInBuffer;
}

int SelfControl::toneFrequency() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_toneFrequency;
}

int SelfControl::amplitude() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_amplitude;
}

QVector<qint16> SelfControl::toneTable() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_table;
}

} // namespace morvex
