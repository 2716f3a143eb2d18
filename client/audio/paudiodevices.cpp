#include "client/audio/paudiodevices.h"
#include "client/audio/portaudiouse.h"

#include <QDebug>

#include <portaudio.h>

namespace morvex {

namespace paudio {
const QList<double> &standardSampleRates()
{
    static const QList<double> rates { 8000, 9600, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000,
        88200, 96000, 192000 };
    return rates;
}
} // namespace paudio

namespace {
paudio::DeviceRecord findDefault(bool input, bool *found)
{
    const QList<paudio::DeviceRecord> all = PAudioDevices::deviceList();
    for (const paudio::DeviceRecord &d : all) {
        if (d.isInput == input && d.isDefault) {
            if (found)
                *found = true;
            return d;
        }
    }
    if (found)
        *found = false;
    return paudio::DeviceRecord();
}
} // namespace

QList<paudio::DeviceRecord> PAudioDevices::deviceList()
{
    QList<paudio::DeviceRecord> list;
    if (PortAudioUse::acquire() != paNoError)
        return list;

    const PaDeviceIndex count = Pa_GetDeviceCount();
    const PaDeviceIndex defIn = Pa_GetDefaultInputDevice();
    const PaDeviceIndex defOut = Pa_GetDefaultOutputDevice();
    if (count < 0) {
        qWarning("An error occured while using the portaudio stream\n");
        qWarning("Error number: %d\n", count);
        qWarning("Error message: %s\n", Pa_GetErrorText(count));
        PortAudioUse::release();
        return list;
    }

    // A duplex device (on Linux nearly all: the sound server's, onboard and
    // USB cards) is listed once for each direction, so it can be chosen as
    // an output too.
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo *info = Pa_GetDeviceInfo(i);
        if (!info)
            continue;
        const PaHostApiInfo *api = Pa_GetHostApiInfo(info->hostApi);
        paudio::DeviceRecord d;
        d.sampleRates = paudio::standardSampleRates();
        d.index = i;
        d.name = QString::fromLocal8Bit(info->name);
        d.hostApi = api ? QString::fromLocal8Bit(api->name) : QString();
        d.defaultSampleRate = info->defaultSampleRate;
        d.defaultLowInputLatency = int(info->defaultLowInputLatency);
        d.defaultHighInputLatency = int(info->defaultHighInputLatency);
        d.defaultLowOutputLatency = int(info->defaultLowOutputLatency);
        d.defaultHighOutputLatency = int(info->defaultHighOutputLatency);
        if (info->maxInputChannels > 0) {
            d.isInput = true;
            d.channels = info->maxInputChannels;
            d.isDefault = i == defIn || (api && i == api->defaultInputDevice);
            list.append(d);
        }
        if (info->maxOutputChannels > 0) {
            d.isInput = false;
            d.channels = info->maxOutputChannels;
            d.isDefault = i == defOut || (api && i == api->defaultOutputDevice);
            list.append(d);
        }
    }
    PortAudioUse::release();
    return list;
}

paudio::DeviceRecord PAudioDevices::defaultInputDevice(bool *found)
{
    return findDefault(true, found);
}

paudio::DeviceRecord PAudioDevices::defaultOutputDevice(bool *found)
{
    return findDefault(false, found);
}

} // namespace morvex
