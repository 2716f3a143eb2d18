#include "platform/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace AutoStart {

QString entryPath(const QString &name)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/") + name + QStringLiteral(".desktop");
}

bool set(const QString &name, const QString &programPath, bool enabled)
{
    const QString path = entryPath(name);
    if (!enabled)
        return !QFileInfo::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    // Exec needs quoting when the path has blanks.
    QString exec = programPath;
    if (exec.contains(QLatin1Char(' ')))
        exec = QLatin1Char('"') + exec + QLatin1Char('"');
    const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(name, exec);
    f.write(text.toUtf8());
    return f.commit();
}

bool isSet(const QString &name)
{
    return QFileInfo::exists(entryPath(name));
}

} // namespace AutoStart
