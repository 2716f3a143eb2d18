#include "configurator/devicestatustext.h"

#include "configurator/hidreport.h"

#include <QCoreApplication>
#include <QStringList>

namespace configurator {

namespace DeviceStatusText {

namespace {
// Texts built here belong to the status tab's translation context.
QString translated(const char *text)
{
    return QCoreApplication::translate("configurator::DevStatusTab", text);
}
} // namespace

QString mac(const QByteArray &response)
{
    QStringList parts;
    for (int i = 1; i <= 6; ++i)
        parts << QStringLiteral("%1").arg(HidReport::u8At(response, i), 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char(':'));
}

QString ipv4(const QByteArray &response)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(HidReport::u8At(response, 1))
        .arg(HidReport::u8At(response, 2))
        .arg(HidReport::u8At(response, 3))
        .arg(HidReport::u8At(response, 4));
}

QString firmwareVersion(const QByteArray &response)
{
    return QStringLiteral("%1.%2.%3")
        .arg(HidReport::u32At(response, 1))
        .arg(HidReport::u32At(response, 5))
        .arg(HidReport::u32At(response, 9));
}

QString hardwareVersion(const QByteArray &response)
{
    return QStringLiteral("%1.%2").arg(HidReport::u32At(response, 1)).arg(HidReport::u32At(response, 5));
}

QString lastError(const QByteArray &response)
{
    const quint8 type = HidReport::u8At(response, 1);
    if (type >= 7)
        return QCoreApplication::translate("configurator::DevStatusTab", "Device does not have error");
    if (type == 0)
        return QCoreApplication::translate("configurator::DevStatusTab", "Type: watchdog. Reason: ")
            + HidReport::stringAt(response, 2, true);

    static const char *const kReasons[6] = {
        QT_TRANSLATE_NOOP("configurator::DevStatusTab", "Type: exception. Reason: HardFault"),
        QT_TRANSLATE_NOOP("configurator::DevStatusTab", "Type: exception. Reason: MemManageFault"),
        QT_TRANSLATE_NOOP("configurator::DevStatusTab", "Type: exception. Reason: BusFault"),
        QT_TRANSLATE_NOOP("configurator::DevStatusTab", "Type: exception. Reason: UsageFault"),
        QT_TRANSLATE_NOOP("configurator::DevStatusTab", "Type: exception. Reason: DebugMonFault"),
        QT_TRANSLATE_NOOP("configurator::DevStatusTab", "Type: exception. Reason: NMI"),
    };
    static const char *const kRegisters[13] = { "r0  ", "r1  ", "r2  ", "r3  ", "r12 ", "LR  ", "PC  ",
        "PSR ", "BFAR", "CFSR", "HFSR", "DFSR", "AFSR" };
    QString text = translated(kReasons[type - 1]) + QLatin1Char('\n');
    for (int i = 0; i < 13; ++i) {
        text += QString::fromLatin1(kRegisters[i]) + QStringLiteral("=0x")
            + QStringLiteral("%1")
                  .arg(HidReport::u32At(response, 2 + 4 * i), 8, 16, QLatin1Char('0'))
                  .toUpper()
            + QLatin1Char('\n');
    }
    return text;
}

QString ddnsDisabledMarker()
{
    return QStringLiteral("disabled");
}

DdnsResult ddnsResult(const QString &answer)
{
    struct Code
    {
        const char *code;
        bool success;
        const char *detail[3];
    };
    static const Code kCodes[] = {
        { "good", true,
            { QT_TRANSLATE_NOOP("configurator::DevStatusTab", "DNS hostname update successful.\n"),
                QT_TRANSLATE_NOOP(
                    "DevStatusTab", "Followed by a space and the IP address it was updated to."),
                nullptr } },
        { "nochg", true,
            { QT_TRANSLATE_NOOP(
                  "configurator::DevStatusTab", "IP address is current, no update performed. \n"),
                QT_TRANSLATE_NOOP(
                    "DevStatusTab", "Followed by a space and the IP address that it is currently set to."),
                nullptr } },
        { "nohost", false,
            { QT_TRANSLATE_NOOP(
                  "DevStatusTab", "Hostname supplied does not exist under specified account,\n"),
                QT_TRANSLATE_NOOP(
                    "configurator::DevStatusTab", "client exit and require user to enter new login\n"),
                QT_TRANSLATE_NOOP(
                    "DevStatusTab", "credentials before performing and additional request.\n") } },
        { "badauth", false,
            { QT_TRANSLATE_NOOP("configurator::DevStatusTab", "Invalid username password combination"),
                nullptr, nullptr } },
        { "badagent", false,
            { QT_TRANSLATE_NOOP("configurator::DevStatusTab", "Client disabled.\n"),
                QT_TRANSLATE_NOOP("configurator::DevStatusTab",
                    "Client should exit and not perform any more updates without user intervention."),
                nullptr } },
        { "!donator", false,
            { QT_TRANSLATE_NOOP(
                  "DevStatusTab", "An update request was sent including a feature that is not\n"),
                QT_TRANSLATE_NOOP(
                    "DevStatusTab", "available to that particular user such as offline options."),
                nullptr } },
        { "abuse", false,
            { QT_TRANSLATE_NOOP(
                  "DevStatusTab", "Username is blocked due to abuse. Either for not following our\n"),
                QT_TRANSLATE_NOOP(
                    "DevStatusTab", "update specifications or disabled due to violation of the No-IP\n"),
                QT_TRANSLATE_NOOP(
                    "DevStatusTab", "terms of service. Client should stop sending updates.") } },
        { "911", false,
            { QT_TRANSLATE_NOOP(
                  "configurator::DevStatusTab", "A fatal error on our side such as a database outage.\n"),
                QT_TRANSLATE_NOOP("configurator::DevStatusTab", "Retry the update no sooner 30 minutes."),
                nullptr } },
        { "disconnected", false,
            { QT_TRANSLATE_NOOP("configurator::DevStatusTab", "DDNS client could not connect to server.\n"),
                QT_TRANSLATE_NOOP(
                    "configurator::DevStatusTab", "You have to check your Internet connection."),
                nullptr } },
    };

    DdnsResult r;
    if (answer == ddnsDisabledMarker()) {
        r.matched = true;
        r.word = QCoreApplication::translate("configurator::DevStatusTab", "Disabled");
        r.detail = QCoreApplication::translate(
                       "configurator::DevStatusTab", "If you want to enable Dynamic DNS client\n")
            + QCoreApplication::translate("configurator::DevStatusTab", "you have to switch to DDNS tab.");
        r.severity = Severity::Information;
        return r;
    }
    for (const Code &c : kCodes) {
        if (!answer.contains(QLatin1String(c.code), Qt::CaseSensitive))
            continue;
        r.matched = true;
        r.word = c.success ? QCoreApplication::translate("configurator::DevStatusTab", "Success")
                           : QCoreApplication::translate("configurator::DevStatusTab", "Error");
        for (const char *piece : c.detail) {
            if (piece)
                r.detail += translated(piece);
        }
        r.severity = c.success ? Severity::Information : Severity::Warning;
        return r;
    }
    return r;
}

} // namespace DeviceStatusText

} // namespace configurator
