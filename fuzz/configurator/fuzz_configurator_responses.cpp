// Device responses of any content and length into every decoder the tabs use.
#include "configurator/devicestatustext.h"
#include "configurator/firmwareimage.h"
#include "configurator/hidreport.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace configurator;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A response never holds more than 64 bytes; longer input is cut the
    // way the tabs cut it.
    const QByteArray response(reinterpret_cast<const char *>(data), int(qMin<size_t>(size, 64)));
    const QString error = DeviceStatusText::lastError(response);
    if (error.isEmpty())
        std::abort();
    const quint8 type = HidReport::u8At(response, 1);
    if (type >= 1 && type <= 6 && error.count(QLatin1Char('\n')) != 14)
        std::abort();
    DeviceStatusText::mac(response);
    DeviceStatusText::ipv4(response);
    DeviceStatusText::firmwareVersion(response);
    DeviceStatusText::hardwareVersion(response);
    const FirmwareImage::Version v = FirmwareImage::versionFromResponse(response);
    FirmwareImage::isOlder(v, "1.1.7");
    for (int at = 0; at < 66; ++at) {
        if (HidReport::stringAt(response, at, true).size() > 64
            || HidReport::stringAt(response, at, false).size() > 64)
            std::abort();
        HidReport::u32At(response, at);
    }
    const DeviceStatusText::DdnsResult r
        = DeviceStatusText::ddnsResult(HidReport::stringAt(response, 1, false));
    if (r.matched == r.word.isEmpty())
        std::abort();
    return 0;
}
