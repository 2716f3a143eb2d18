#include "client/audio/streampacer.h"

#include <chrono>

namespace morvex {

void StreamPacer::start(double sampleRate, qint64 bufferingNs)
{
    m_rate = sampleRate;
    m_allowedNs = kLeadNs + qMax<qint64>(0, bufferingNs);
    m_started = false;
    m_frames = 0;
}

qint64 StreamPacer::delivered(qint64 nowNs, qint64 frames)
{
    if (m_rate <= 0 || frames <= 0)
        return 0;
    // Counted from the first callback: a device may take a while to start.
    if (!m_started) {
        m_originNs = nowNs;
        m_started = true;
    }
    // A double counts frames exactly for far longer than any session.
    m_frames += double(frames);
    const double audioNs = m_frames / m_rate * 1e9;
    const qint64 elapsedNs = nowNs - m_originNs;
    if (audioNs < double(elapsedNs - kMaxBehindNs)) {
        m_originNs = nowNs - kMaxBehindNs - qint64(audioNs);
        return 0;
    }
    const double allowedNs = double(elapsedNs) + double(elapsedNs) / kSlackDivisor + double(m_allowedNs);
    return audioNs > allowedNs ? qint64(audioNs - allowedNs) : 0;
}

qint64 StreamPacer::now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace morvex
