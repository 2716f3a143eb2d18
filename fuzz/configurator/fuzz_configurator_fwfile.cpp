// Firmware files of any content: the checks, the CRC and the chunk reports,
// which must rebuild the file exactly as the device reassembles it.
#include "configurator/firmwareimage.h"
#include "configurator/hidreport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace configurator;

using namespace FirmwareImage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8)
        return 0;
    const quint32 deviceImage = HidReport::u32At(QByteArray(reinterpret_cast<const char *>(data), 8), 0);
    const quint32 deviceFeature = HidReport::u32At(QByteArray(reinterpret_cast<const char *>(data), 8), 4);
    const QByteArray file(reinterpret_cast<const char *>(data + 8), int(size - 8));
    const Check c = check(file, deviceImage, deviceFeature);
    if (c != Check::BadSize && !sizeAcceptable(file.size()))
        std::abort();
    if (c == Check::Ok && (imageWord(file) != deviceImage || featureWord(file) != deviceFeature))
        std::abort();
    if (c == Check::BadSize)
        return 0;

    QByteArray image(kHeaderSize + file.size() + kChunkData, char(0xFF));
    auto place = [&image](const QByteArray &report) {
        if (report.size() != HidReport::kRequestSize || quint8(report[1]) != 0x03
            || quint8(report[2]) != 0x04)
            std::abort();
        image.replace(int(chunkOffset(report)), kChunkData, report.mid(7));
    };
    QByteArray last = firstChunk(quint32(file.size()), transferCrc(file), file.left(kFirstChunkData));
    place(last);
    for (int pos = kFirstChunkData; pos < file.size(); pos += kChunkData) {
        last = chunk(quint32(pos), file.mid(pos, kChunkData));
        place(last);
    }
    if (chunkOffset(endMarker(last)) != kEndMarker)
        std::abort();
    if (HidReport::u32At(image, 0) != quint32(file.size()) || image.mid(kHeaderSize, file.size()) != file)
        std::abort();
    if (HidReport::u16At(image, 4) != crc16(file.constData(), qMax(0, file.size() - 2)))
        std::abort();
    return 0;
}
