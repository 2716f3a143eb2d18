#pragma once

#include "client/audio/paudio.h"

namespace morvex {

// Sound device look-ups; each call brackets its work with its own
// PortAudio initialisation.
class PAudioDevices final
{
public:
    static QList<paudio::DeviceRecord> deviceList();
    static paudio::DeviceRecord defaultInputDevice(bool *found);
    static paudio::DeviceRecord defaultOutputDevice(bool *found);
};

} // namespace morvex
