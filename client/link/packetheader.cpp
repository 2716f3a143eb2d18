#include "client/link/packetheader.h"

#include <QtEndian>

namespace morvex {

namespace {
quint8 crcStep(quint8 crc, quint8 byte)
{
    crc ^= byte;
    for (int i = 0; i < 8; ++i)
        crc = (crc & 0x80) ? quint8((crc << 1) ^ 0x31) : quint8(crc << 1);
    return crc;
}
} // namespace

quint8 crc8(const char *data, int len)
{
    quint8 crc = 0xFF;
    for (int i = 0; i < len; ++i)
        crc = crcStep(crc, quint8(data[i]));
    return crc;
}

PacketHeader readPacketHeader(const char *data)
{
    PacketHeader h;
    h.type = quint8(data[0]);
    h.value = qFromLittleEndian<quint32>(data + 1);
    h.length = qFromLittleEndian<quint16>(data + 5);
    h.checksum = quint8(data[7]);
    return h;
}

QByteArray makeFrame(quint8 type, quint32 value, const char *payload, int len)
{
    if (len < 0)
        len = 0;
    if (len > 0xFFFF)
        len = 0xFFFF;
    QByteArray frame(kPacketHeaderSize + len, '\0');
    char *p = frame.data();
    p[0] = char(type);
    qToLittleEndian<quint32>(value, p + 1);
    qToLittleEndian<quint16>(quint16(len), p + 5);
    p[7] = 0;
    if (len > 0)
        memcpy(p + kPacketHeaderSize, payload, size_t(len));
    p[7] = char(crc8(p, frame.size()));
    return frame;
}

bool frameChecksumOk(const char *frame, int len)
{
    quint8 crc = 0xFF;
    for (int i = 0; i < len; ++i)
        crc = crcStep(crc, i == 7 ? 0 : quint8(frame[i]));
    return crc == quint8(frame[7]);
}

} // namespace morvex
