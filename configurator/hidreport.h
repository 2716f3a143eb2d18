#pragma once

#include <QByteArray>
#include <QString>

namespace configurator {

// Layout of the Brelko's HID reports. A request is 65 bytes as handed to
// hid_write: byte 0 the report number (always 0), byte 1 the command, byte 2
// the parameter, value from byte 3. A response holds at most the 64 bytes the
// device sent: byte 0 the echoed parameter, value from byte 1.
namespace HidReport {

constexpr int kRequestSize = 65;
constexpr int kResponseSize = 64;
// A string set from request byte 3 to the end of the report.
constexpr int kStringField = 62;

enum Command : quint8 {
    Restart = 0x00,
    ResetDefaults = 0x01,
    GetParameter = 0x02,
    SetParameter = 0x03,
};

enum Parameter : quint8 {
    FirmwareChunk = 4,
    CommitSettings = 5,
    FirmwareVersion = 6,
    HardwareVersion = 7,
    WifiNetworkName = 8,
    WifiPassword = 9,
    SignalStrength = 10,
    WifiLinkState = 11,
    MacAddress = 12,
    IpAddress = 13,
    IpMask = 14,
    Gateway = 15,
    DnsServer = 16,
    AccessPassword = 17,
    TcpCommandPort = 18,
    UdpAudioPort = 19,
    UdpPttCwPort = 20,
    DdnsEnabled = 21,
    DdnsService = 22,
    DdnsAddress = 23,
    DdnsLogin = 24,
    DdnsPassword = 25,
    DdnsLastResult = 27,
    LastErrorRecord = 28,
    PermissionSlot = 29,
    PermissionPassword = 30,
};

// Zero-filled 65-byte request carrying a command (and parameter).
QByteArray request(Command command, quint8 parameter = 0);
QByteArray getRequest(quint8 parameter, quint8 index = 0);
QByteArray setRequest(quint8 parameter);

// Copies text as Latin-1 from byte at. At most field - 1 bytes are kept, so
// the string always ends with a NUL inside its field and never runs past the
// report. Returns false when the text had to be cut.
bool putString(QByteArray &report, const QString &text, int field = kStringField, int at = 3);
void putU16(QByteArray &report, quint16 value, int at = 3);
void putU32(QByteArray &report, quint32 value, int at = 3);

// Readers of a response; bytes beyond what was received read as zero and a
// string without NUL ends with the received data.
quint8 u8At(const QByteArray &response, int at);
quint16 u16At(const QByteArray &response, int at);
quint32 u32At(const QByteArray &response, int at);
QString stringAt(const QByteArray &response, int at, bool utf8);

} // namespace HidReport

} // namespace configurator
