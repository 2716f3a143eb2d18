#include "sim/simframe.h"

namespace SimFrame {

quint8 crc8(const QByteArray &bytes)
{
    unsigned reg = 0xFF;
    for (const char c : bytes) {
        reg ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x80u) ? ((reg << 1) ^ 0x31u) & 0xFFu : (reg << 1) & 0xFFu;
    }
    return quint8(reg);
}

QByteArray u32le(quint32 v)
{
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = char((v >> (8 * i)) & 0xFF);
    return out;
}

quint32 readU32le(const char *p)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

QByteArray build(quint8 type, quint32 value, const QByteArray &payload)
{
    const QByteArray body = payload.left(0xFFFF);
    QByteArray frame;
    frame.reserve(kHeaderSize + body.size());
    frame.append(char(type));
    frame.append(u32le(value));
    frame.append(char(body.size() & 0xFF));
    frame.append(char((body.size() >> 8) & 0xFF));
    frame.append('\0');
    frame.append(body);
    frame[7] = char(crc8(frame));
    return frame;
}

} // namespace SimFrame

FrameReader::Result FrameReader::next(SimFrame::Frame *frame)
{
    using namespace SimFrame;
    if (m_buffer.size() < kHeaderSize)
        return NeedMore;
    const auto *p = reinterpret_cast<const unsigned char *>(m_buffer.constData());
    const int length = p[5] | (p[6] << 8);
    if (m_buffer.size() < kHeaderSize + length)
        return NeedMore;

    frame->type = p[0];
    frame->value = readU32le(m_buffer.constData() + 1);
    frame->length = quint16(length);
    frame->checksum = p[7];
    frame->payload = m_buffer.mid(kHeaderSize, length);

    QByteArray check = m_buffer.left(kHeaderSize + length);
    check[7] = '\0';
    if (crc8(check) != frame->checksum) {
        m_buffer.clear();
        return BadChecksum;
    }
    m_buffer.remove(0, kHeaderSize + length);
    return Good;
}
