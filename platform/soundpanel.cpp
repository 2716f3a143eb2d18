#include "platform/soundpanel.h"

#include <QDebug>
#include <QProcess>
#include <QStandardPaths>

bool openSoundPanel()
{
    const QString pavu = QStandardPaths::findExecutable(QStringLiteral("pavucontrol"));
    if (!pavu.isEmpty())
        return QProcess::startDetached(pavu, { QStringLiteral("--tab=4") });
    const QString gnome = QStandardPaths::findExecutable(QStringLiteral("gnome-control-center"));
    if (!gnome.isEmpty())
        return QProcess::startDetached(gnome, { QStringLiteral("sound") });
    qWarning() << "No sound settings program found (pavucontrol or gnome-control-center)";
    return false;
}
