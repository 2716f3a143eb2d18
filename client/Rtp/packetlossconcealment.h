#pragma once

#include <QtGlobal>

namespace morvex {

// Fills missing playout slots by repeating the last pitch period of the
// received signal with a fading gain, and smooths the way back to real
// audio. Works on one sequence of interleaved 16-bit values; periods are
// whole sample frames, so a repeated period never moves a channel's samples
// onto another channel.
class PacketLossConcealment
{
public:
    static constexpr int kHistoryLength = 360;
    static constexpr int kMinPitch = 40;
    static constexpr int kMaxPitch = 120;
    static constexpr int kCorrelationSpan = 240;
    static constexpr float kAttenuation = 0.0025f;

    PacketLossConcealment() = default;

    // Zeroes the whole state, as at creation; the channel count stays.
    void clear();
    // Interleaved channels, 1 (as created) to 4.
    void setChannels(int channels);
    int channels() const { return m_channels; }

    // A real frame: may rewrite its first samples in place. Returns count.
    int receive(qint16 *samples, int count);
    // A missing frame: writes count synthetic samples. Returns count.
    int fillIn(qint16 *samples, int count);

    int pitch() const { return m_pitch; }
    int missingSamples() const { return m_missing; }

private:
    void saveHistory(const qint16 *samples, int count);
    void straightenHistory();
    int searchPitch() const;
    int overlapOf(int pitch) const;

    int m_missing = 0;
    int m_periodOffset = 0;
    int m_pitch = 0;
    float m_period[kMaxPitch] = {};
    qint16 m_history[kHistoryLength] = {};
    int m_historyPos = 0;
    int m_channels = 1;
};

} // namespace morvex
