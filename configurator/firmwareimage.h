#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace configurator {

// Firmware update files ("*.refw") and their transfer over HID parameter 4,
// as pure functions over bytes so they can be checked without a device.
namespace FirmwareImage {

// The block whose fourth word is the feature word starts here.
constexpr int kBlockOffset = 396;
constexpr int kFeatureOffset = kBlockOffset + 12;
constexpr int kImageWordOffset = 392;
constexpr qint64 kMaxFileSize = 500000;
constexpr quint32 kImageWordMask = 0xFE0A0000u;
// File data per chunk: the first chunk also carries length and CRC.
constexpr int kFirstChunkData = 52;
constexpr int kChunkData = 58;
// Chunk offsets count the 6-byte length/CRC header of the device image.
constexpr int kHeaderSize = 6;
constexpr quint32 kEndMarker = 0xFFFFFFFFu;

// What the device reports as parameter 6.
struct Version
{
    quint32 major = 0;
    quint32 minor = 0;
    quint32 build = 0;
    quint32 feature = 0;
    quint32 image = 0;
};

Version versionFromResponse(const QByteArray &response);
// True when major.minor.build is older than the dotted minimum.
bool isOlder(const Version &v, const char *minimum);

enum class Check {
    Ok,
    BadSize, // empty or above kMaxFileSize
    NotValid, // too short for its words, or an image-word bit missing
    Incompatible, // image word differs from the device's
    FeatureDiffers // acceptable, but the device's settings will be reset
};

bool sizeAcceptable(qint64 size);
// The file's own checks first, then the comparison with the device.
Check check(const QByteArray &file, quint32 deviceImage, quint32 deviceFeature);
quint32 imageWord(const QByteArray &file);
quint32 featureWord(const QByteArray &file);

// CRC-16/AUG-CCITT (polynomial 0x1021, initial 0x1D0F, MSB first, no final XOR).
quint16 crc16(const char *data, qint64 size);
inline quint16 crc16(const QByteArray &data)
{
    return crc16(data.constData(), data.size());
}
// The transfer CRC covers everything but the file's last two bytes.
quint16 transferCrc(const QByteArray &file);

// 65-byte chunk reports (report number, command 0x03, parameter 4, offset,
// data), unused bytes 0xFF. The first carries the length and CRC before the
// first 52 file bytes; later ones 58 file bytes at file position + 6.
QByteArray firstChunk(quint32 totalLength, quint16 crc, const QByteArray &data);
QByteArray chunk(quint32 filePosition, const QByteArray &data);
// The same report with offset 0xFFFFFFFF: tells the device the image is whole.
QByteArray endMarker(const QByteArray &lastChunk);
quint32 chunkOffset(const QByteArray &report);

} // namespace FirmwareImage

} // namespace configurator
