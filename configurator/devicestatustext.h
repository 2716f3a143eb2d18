#pragma once

#include <QByteArray>
#include <QString>

namespace configurator {

// Texts of the Status tab made from device responses; pure, so each decoder
// can be checked (and fuzzed) without a device.
namespace DeviceStatusText {

// Six octets as lower-case hexadecimal pairs joined by ":".
QString mac(const QByteArray &response);
// Four octets in decimal joined by ".".
QString ipv4(const QByteArray &response);
QString firmwareVersion(const QByteArray &response);
QString hardwareVersion(const QByteArray &response);

// The last error record (HID parameter 28) as the "Last error" window shows it.
QString lastError(const QByteArray &response);

// How the answer is shown; the tab maps it to its message box icon.
enum class Severity { None, Information, Warning };

struct DdnsResult
{
    bool matched = false; // no known code: the shown result stays as it is
    QString word;
    QString detail;
    Severity severity = Severity::None;
};

// The "disabled" marker or the dynamic DNS service's answer.
DdnsResult ddnsResult(const QString &answer);
QString ddnsDisabledMarker();

} // namespace DeviceStatusText

} // namespace configurator
