#include "client/audio/portaudiouse.h"

#include "platform/soundplugins.h"

namespace morvex {

std::mutex PortAudioUse::s_mutex;
int PortAudioUse::s_count = 0;

PaError PortAudioUse::acquire()
{
    std::lock_guard<std::mutex> lock(s_mutex);
    const PaError err = Pa_Initialize();
    if (err != paNoError)
        return err;
    if (s_count++ == 0)
        releaseIdleSoundPlugins();
    return paNoError;
}

void PortAudioUse::release()
{
    std::lock_guard<std::mutex> lock(s_mutex);
    if (s_count > 0)
        --s_count;
    Pa_Terminate();
}

} // namespace morvex
