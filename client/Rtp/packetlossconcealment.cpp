#include "client/Rtp/packetlossconcealment.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace morvex {

namespace {

// Nearest integer, ties to even (the default rounding mode), clamped to 16 bits.
qint16 saturate(float v)
{
    if (v > 32767.0f)
        return 32767;
    if (v < -32768.0f)
        return -32768;
    return qint16(std::nearbyint(v));
}

// Truncation toward zero; the clamp only guards against rounding overshoot.
qint16 truncate(float v)
{
    if (v >= 32767.0f)
        return 32767;
    if (v <= -32768.0f)
        return -32768;
    return qint16(v);
}

// Past this the gain is long gone; stop counting so the count never overflows.
constexpr int kMissingCap = std::numeric_limits<int>::max() / 2;

} // namespace

void PacketLossConcealment::clear()
{
    const int channels = m_channels;
    *this = PacketLossConcealment();
    m_channels = channels;
}

void PacketLossConcealment::setChannels(int channels)
{
    m_channels = qBound(1, channels, 4);
}

// A quarter period, in whole sample frames.
int PacketLossConcealment::overlapOf(int pitch) const
{
    return qMax(m_channels, pitch / 4 / m_channels * m_channels);
}

int PacketLossConcealment::receive(qint16 *samples, int count)
{
    if (!samples || count <= 0)
        return 0;

    if (m_missing > 0) {
        const int overlap = std::min(overlapOf(m_pitch), count);
        if (overlap > 0 && m_pitch > 0) {
            const float gain = std::max(0.0f, 1.0f - float(m_missing) * kAttenuation);
            const float step = 1.0f / float(overlap);
            float oldWeight = (1.0f - step) * gain;
            const float oldStep = gain * step;
            float newWeight = step;
            for (int i = 0; i < overlap; ++i) {
                samples[i] = saturate(oldWeight * m_period[m_periodOffset] + newWeight * float(samples[i]));
                if (++m_periodOffset >= m_pitch)
                    m_periodOffset = 0;
                newWeight += step;
                oldWeight = std::max(0.0f, oldWeight - oldStep);
            }
        }
        m_missing = 0;
    }

    saveHistory(samples, count);
    return count;
}

int PacketLossConcealment::fillIn(qint16 *samples, int count)
{
    if (!samples || count <= 0)
        return 0;

    int i = 0;
    float gain;
    if (m_missing == 0) {
        straightenHistory();
        m_pitch = searchPitch();

        const int overlap = overlapOf(m_pitch);
        const float step = 1.0f / float(overlap);
        const int start = kHistoryLength - m_pitch;
        const int before = kHistoryLength - 2 * m_pitch;
        for (int k = 0; k < m_pitch - overlap; ++k)
            m_period[k] = float(m_history[start + k]);
        // The period's end fades into the samples before it, so the loop joins smoothly.
        float w = step;
        for (int k = m_pitch - overlap; k < m_pitch; ++k) {
            m_period[k] = float(m_history[start + k]) * (1.0f - w) + float(m_history[before + k]) * w;
            w += step;
        }

        // Shorter requests than the overlap only get as much of the join as fits.
        // The history is read backwards frame by frame, each channel from its own.
        const int join = std::min(overlap, count);
        float newWeight = step;
        float oldWeight = 1.0f - step;
        for (; i < join; ++i) {
            const int old = kHistoryLength - m_channels * (i / m_channels + 1) + i % m_channels;
            samples[i] = saturate(newWeight * m_period[i] + oldWeight * float(m_history[old]));
            newWeight += step;
            oldWeight = std::max(0.0f, oldWeight - step);
        }
        m_periodOffset = join;
        gain = 1.0f;
    } else {
        gain = 1.0f - float(m_missing) * kAttenuation;
    }

    for (; gain > 0.0f && i < count; ++i) {
        samples[i] = truncate(m_period[m_periodOffset] * gain);
        gain -= kAttenuation;
        if (++m_periodOffset >= m_pitch)
            m_periodOffset = 0;
    }
    if (i < count)
        std::memset(samples + i, 0, size_t(count - i) * sizeof(qint16));

    m_missing = count > kMissingCap - m_missing ? kMissingCap : m_missing + count;
    saveHistory(samples, count);
    return count;
}

void PacketLossConcealment::saveHistory(const qint16 *samples, int count)
{
    if (count >= kHistoryLength) {
        std::memcpy(m_history, samples + (count - kHistoryLength), sizeof(m_history));
        m_historyPos = 0;
    } else if (m_historyPos + count > kHistoryLength) {
        const int tail = kHistoryLength - m_historyPos;
        std::memcpy(m_history + m_historyPos, samples, size_t(tail) * sizeof(qint16));
        std::memcpy(m_history, samples + tail, size_t(count - tail) * sizeof(qint16));
        m_historyPos = count - tail;
    } else {
        std::memcpy(m_history + m_historyPos, samples, size_t(count) * sizeof(qint16));
        m_historyPos += count;
    }
}

void PacketLossConcealment::straightenHistory()
{
    if (m_historyPos == 0)
        return;
    std::rotate(m_history, m_history + m_historyPos, m_history + kHistoryLength);
    m_historyPos = 0;
}

int PacketLossConcealment::searchPitch() const
{
    // Only whole sample frames: an odd period would swap stereo channels.
    const int first = (kMinPitch + m_channels - 1) / m_channels * m_channels;
    int best = kMaxPitch / m_channels * m_channels;
    int bestSum = std::numeric_limits<int>::max();
    for (int p = first; p <= kMaxPitch; p += m_channels) {
        int sum = 0;
        for (int j = 0; j < kCorrelationSpan; ++j)
            sum += std::abs(int(m_history[p + j]) - int(m_history[j]));
        // Strictly smaller only: equal sums keep the shorter period.
        if (sum < bestSum) {
            bestSum = sum;
            best = p;
        }
    }
    return best;
}

} // namespace morvex
