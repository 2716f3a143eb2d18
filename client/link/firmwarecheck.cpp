#include "client/link/firmwarecheck.h"

#include "common/settings.h"

#include <QStringList>

using namespace brelko;

namespace morvex {

FirmwareCheck::FirmwareCheck(QObject *parent)
    : QObject(parent)
{
}

QString FirmwareCheck::minimumVersion()
{
    return QStringLiteral("1.1.7");
}

QString FirmwareCheck::makerWebSite()
{
    return QStringLiteral("http://www.zentrik.example");
}

bool FirmwareCheck::isOlder(quint32 ver, quint32 subver, quint32 pointver, const QString &minimum)
{
    const QStringList parts = minimum.split(QLatin1Char('.'));
    const quint32 have[3] = { ver, subver, pointver };
    for (int i = 0; i < 3; ++i) {
        const quint32 need = i < parts.size() ? parts.at(i).trimmed().toUInt() : 0;
        if (have[i] != need)
            return have[i] < need;
    }
    return false;
}

QString FirmwareCheck::noticeText()
{
    return tr("You should update your Brelko's firmware to version %1 or higher. "
              "The latest version of the firmware you can download from the website ")
               .arg(minimumVersion())
        + makerWebSite() + QLatin1Char('\n')
        + tr("After that you should run Brelko Configurator, choose the \"Files\" tab and update firmware.");
}

void FirmwareCheck::checkFwVersion(quint32 ver, quint32 subver, quint32 pointver)
{
    if (!isOlder(ver, subver, pointver))
        return;

    const QString msg = noticeText();
    if (!Settings::instance()->value(Settings::HideFirmwareWarning, Settings::Firmware).toBool())
        emit showNotice(msg);
    else
        emit sendTrayMessage(msg);
}

} // namespace morvex
