#pragma once

#include <portaudio.h>

#include <mutex>

namespace morvex {

// Every use of PortAudio in the program takes and gives back its reference
// here, so the first one, which lists the devices, is known: no stream is
// open then, and the sound plugins the listing loaded can go again.
class PortAudioUse
{
public:
    PortAudioUse() = delete;

    static PaError acquire();
    // Only after an acquire that returned paNoError.
    static void release();

private:
    static std::mutex s_mutex;
    static int s_count;
};

} // namespace morvex
