#pragma once

#include <QtGlobal>

namespace morvex {

// Holds a sound stream to the wall clock when its device has none. A device
// without a clock (ALSA's null PCM, a broken driver) calls back as fast as
// the CPU allows: a capture stream then floods its reader and a playback
// stream drains its jitter buffer, and either keeps a core busy.
// A real device is never ahead of the wall clock by more than its own
// buffering, which the allowed lead covers, nor faster than its crystal's
// tolerance, which the slack covers: it is never held back.
class StreamPacer final
{
public:
    // How far beyond the stream's own buffering a stream may run ahead.
    static constexpr qint64 kLeadNs = 200'000'000;
    // A device may fall this far behind (lost buffers, a stalled server)
    // without earning a burst of catch-up later.
    static constexpr qint64 kMaxBehindNs = 1'000'000'000;
    // Real clocks run up to a fraction of a percent fast; 1 % is allowed.
    static constexpr int kSlackDivisor = 100;

    // bufferingNs: the stream's buffer and latency, which a real device may
    // hand over at once when it starts.
    void start(double sampleRate, qint64 bufferingNs);

    // frames were just delivered at monotonic time nowNs. Returns how long
    // (ns) the stream must wait to keep to the wall clock; 0 for none.
    qint64 delivered(qint64 nowNs, qint64 frames);

    // Monotonic clock in ns.
    static qint64 now();

private:
    double m_rate = 0;
    qint64 m_allowedNs = kLeadNs;
    qint64 m_originNs = 0;
    bool m_started = false;
    double m_frames = 0;
};

} // namespace morvex
