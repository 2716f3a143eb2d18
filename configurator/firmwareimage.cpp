#include "configurator/firmwareimage.h"

#include "configurator/hidreport.h"

#include <QList>
#include <QString>

#include <array>
#include <cstring>

namespace configurator {

namespace FirmwareImage {

namespace {
constexpr std::array<quint16, 256> makeTable()
{
    std::array<quint16, 256> t {};
    for (int i = 0; i < 256; ++i) {
        quint16 c = quint16(i << 8);
        for (int b = 0; b < 8; ++b)
            c = (c & 0x8000) ? quint16((c << 1) ^ 0x1021) : quint16(c << 1);
        t[size_t(i)] = c;
    }
    return t;
}
constexpr std::array<quint16, 256> kTable = makeTable();

QByteArray chunkReport(quint32 offset)
{
    QByteArray r(HidReport::kRequestSize, char(0xFF));
    r[0] = 0x00;
    r[1] = char(HidReport::SetParameter);
    r[2] = char(HidReport::FirmwareChunk);
    HidReport::putU32(r, offset, 3);
    return r;
}
} // namespace

Version versionFromResponse(const QByteArray &response)
{
    Version v;
    v.major = HidReport::u32At(response, 1);
    v.minor = HidReport::u32At(response, 5);
    v.build = HidReport::u32At(response, 9);
    v.feature = HidReport::u32At(response, 13);
    v.image = HidReport::u32At(response, 17);
    return v;
}

bool isOlder(const Version &v, const char *minimum)
{
    const QList<QByteArray> parts = QByteArray(minimum).split('.');
    const quint32 have[3] = { v.major, v.minor, v.build };
    for (int i = 0; i < 3; ++i) {
        const quint32 want = parts.value(i).toUInt();
        if (have[i] != want)
            return have[i] < want;
    }
    return false;
}

bool sizeAcceptable(qint64 size)
{
    return size > 0 && size <= kMaxFileSize;
}

quint32 imageWord(const QByteArray &file)
{
    return file.size() >= kImageWordOffset + 4 ? HidReport::u32At(file, kImageWordOffset) : 0;
}

quint32 featureWord(const QByteArray &file)
{
    return file.size() >= kFeatureOffset + 4 ? HidReport::u32At(file, kFeatureOffset) : 0;
}

Check check(const QByteArray &file, quint32 deviceImage, quint32 deviceFeature)
{
    if (!sizeAcceptable(file.size()))
        return Check::BadSize;
    const quint32 image = imageWord(file);
    if (file.size() < kFeatureOffset + 4 || (image & kImageWordMask) != kImageWordMask)
        return Check::NotValid;
    if (image != deviceImage)
        return Check::Incompatible;
    if (featureWord(file) != deviceFeature)
        return Check::FeatureDiffers;
    return Check::Ok;
}

quint16 crc16(const char *data, qint64 size)
{
    quint16 crc = 0x1D0F;
    for (qint64 i = 0; i < size; ++i)
        crc = quint16(crc << 8) ^ kTable[size_t(((crc >> 8) ^ quint8(data[i])) & 0xFF)];
    return crc;
}

quint16 transferCrc(const QByteArray &file)
{
    // A file of one byte has nothing covered: the CRC of no bytes.
    return crc16(file.constData(), qMax(0, file.size() - 2));
}

QByteArray firstChunk(quint32 totalLength, quint16 crc, const QByteArray &data)
{
    QByteArray r = chunkReport(0);
    HidReport::putU32(r, totalLength, 7);
    HidReport::putU16(r, crc, 11);
    const int n = qMin(data.size(), kFirstChunkData);
    std::memcpy(r.data() + 13, data.constData(), size_t(n));
    return r;
}

QByteArray chunk(quint32 filePosition, const QByteArray &data)
{
    QByteArray r = chunkReport(filePosition + kHeaderSize);
    const int n = qMin(data.size(), kChunkData);
    std::memcpy(r.data() + 7, data.constData(), size_t(n));
    return r;
}

QByteArray endMarker(const QByteArray &lastChunk)
{
    QByteArray r = lastChunk.size() == HidReport::kRequestSize ? lastChunk : chunkReport(0);
    HidReport::putU32(r, kEndMarker, 3);
    return r;
}

quint32 chunkOffset(const QByteArray &report)
{
    return HidReport::u32At(report, 3);
}

} // namespace FirmwareImage

} // namespace configurator
