#pragma once

#include <QByteArray>
#include <QtGlobal>

// The simulator's own view of command-link frames. Written apart from the
// client's framing code on purpose: the two cross-check the wire format.
namespace SimFrame {

constexpr int kHeaderSize = 8;

enum Type : quint8 {
    Login = 0,
    Ptt = 1,
    Audio = 2,
    SerialCat = 3,
    SerialFsk = 4,
    SerialRs485 = 5,
    Errors = 8,
    Permission = 9,
    FwVersion = 10,
};

enum ErrorCode : quint32 {
    NoError = 0,
    MultipleConnection = 1,
    WrongPassword = 2,
    Timeout = 3,
    UnknownPacket = 4,
};

struct Frame
{
    quint8 type = 0;
    quint32 value = 0;
    quint16 length = 0;
    quint8 checksum = 0;
    QByteArray payload;
};

// CRC-8/NRSC-5: poly 0x31, init 0xFF, MSB first, no reflection, no final XOR.
quint8 crc8(const QByteArray &bytes);
// Header (checksum over the frame with byte 7 as 0) followed by the payload.
QByteArray build(quint8 type, quint32 value, const QByteArray &payload = QByteArray());
QByteArray u32le(quint32 v);
quint32 readU32le(const char *p);

} // namespace SimFrame

// Cuts a received byte stream into frames.
class FrameReader
{
public:
    enum Result { NeedMore, Good, BadChecksum };

    void append(const QByteArray &bytes) { m_buffer.append(bytes); }
    // Takes the next frame off the buffer. A frame with a bad checksum is
    // returned for logging and the whole buffer is dropped: frame boundaries
    // cannot be trusted after it.
    Result next(SimFrame::Frame *frame);
    int buffered() const { return m_buffer.size(); }
    void clear() { m_buffer.clear(); }

private:
    QByteArray m_buffer;
};
