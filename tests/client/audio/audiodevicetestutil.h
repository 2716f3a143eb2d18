#pragma once

#include "client/audio/paudio.h"
#include "client/audio/paudiodevices.h"

#include <QString>

using namespace morvex;

// Finds the virtual sound devices and describes streams on them, as the
// station controller does (12000 Hz, 100 ms buffers).
namespace audiodevicetest {

constexpr int kRate = 12000;
constexpr int kFrames = 1200;

inline int findDevice(const QString &name, bool input)
{
    const QList<paudio::DeviceRecord> all = PAudioDevices::deviceList();
    for (const paudio::DeviceRecord &d : all) {
        if (d.name == name && d.isInput == input)
            return d.index;
    }
    return -1;
}

inline paudio::StreamDescriptor descriptor(paudio::AudioType kind, int device, QIODevice *data)
{
    paudio::StreamDescriptor d;
    d.kind = kind;
    d.paIndex = device;
    d.data = data;
    d.params.setDevice(device);
    d.params.setSampleRate(kRate);
    d.params.setFramesPerBuffer(kFrames);
    d.params.setSuggestedLatency(0.1);
    d.params.setChannels(kind == paudio::audioIn || kind == paudio::audioInVirtual ? 1 : 2);
    return d;
}

} // namespace audiodevicetest
