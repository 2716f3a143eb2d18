#pragma once

// Listing the sound devices opens every ALSA device, and each plugin that
// took part stays loaded: an AC-3 encoder alone pulls in a codec library
// and its dependencies, about 10 MB resident. This frees ALSA's global
// configuration and unloads the plugins no open device uses; the next open
// reads the configuration again. Call it only while no other thread opens
// or closes an ALSA device.
void releaseIdleSoundPlugins();
