#include "platform/soundplugins.h"

#include <alsa/asoundlib.h>

void releaseIdleSoundPlugins()
{
    // Plugins still in use by an open device keep their reference and stay.
    snd_config_update_free_global();
}
