#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace morvex {

// Command-link packet types.
namespace PacketType {
enum : quint8 {
    Authorization = 0,
    Ptt = 1,
    Audio = 2,
    SerialCat = 3,
    SerialFsk = 4,
    SerialRs485 = 5,
    SerialPttCw = 6,
    Errors = 8,
    Permission = 9,
    FwVersion = 10,
};
}

// Header of one command-link frame, laid out exactly as on the wire
// (little-endian fields, no padding).
#pragma pack(push, 1)
struct PacketHeader
{
    quint8 type = 0;
    quint32 value = 0;
    quint16 length = 0;
    quint8 checksum = 0;
};
#pragma pack(pop)
static_assert(sizeof(PacketHeader) == 8, "PacketHeader must be 8 bytes");

constexpr int kPacketHeaderSize = 8;

// CRC-8, polynomial 0x31, initial 0xFF, MSB first, no reflection, no final XOR.
quint8 crc8(const char *data, int len);

// Reads a header from 8 wire bytes (byte order independent of the host).
PacketHeader readPacketHeader(const char *data);
// Builds one complete frame: header with checksum, then the payload.
QByteArray makeFrame(quint8 type, quint32 value, const char *payload, int len);
inline QByteArray makeFrame(quint8 type, quint32 value, const QByteArray &payload = QByteArray())
{
    return makeFrame(type, value, payload.constData(), payload.size());
}
// True when byte 7 of the frame equals the CRC-8 of the frame with byte 7 as 0.
bool frameChecksumOk(const char *frame, int len);

} // namespace morvex
