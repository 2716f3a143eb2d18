#pragma once

#include "client/audio/paudio.h"

namespace morvex {

// Device buffer sizes the station controller opens its streams with.
// Short buffers: one 20 ms datagram per callback and 20 ms of suggested
// latency, so the device holds about two periods (40 ms) on top of the
// jitter buffer. Long buffers: 100 ms callbacks, for sound systems that
// underrun with less; they cost about 200 ms more on the way to the ear.
// Only the speakers get short buffers: through a sound server every short
// period costs several wake-ups (about 9 ms of CPU a second per stream).
// Capture keeps long buffers, as transmit audio is paced by the box anyway,
// and so does the virtual card, whose listeners are decoding programs that
// do not hear 100 ms.
namespace paudio {

inline bool shortBuffers(AudioType kind, bool longBuffers)
{
    return !longBuffers && kind == audioOut;
}

inline int framesPerBuffer(int rate, bool longBuffers)
{
    if (!longBuffers)
        return rate > 0 ? rate / 50 : 240;
    switch (rate) {
    case 8000:
        return 800;
    case 11025:
        return 1100;
    case 12000:
        return 1200;
    default:
        return 1600;
    }
}

inline double suggestedLatency(bool longBuffers)
{
    return longBuffers ? 0.0 : 0.02;
}

} // namespace paudio

} // namespace morvex
