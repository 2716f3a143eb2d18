#include "platform/winelinks.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The text of the symlink at path, or a null string when path is no symlink.
QString readLink(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st = {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return QString();
    QByteArray buffer(4096, '\0');
    const ssize_t n = ::readlink(native.constData(), buffer.data(), size_t(buffer.size()));
    if (n < 0)
        return QString();
    return QFile::decodeName(buffer.left(int(n)));
}

bool entryExists(const QString &path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}
} // namespace

WineLinks::WineLinks(QObject *parent)
    : QObject(parent)
{
}

WineLinks::~WineLinks()
{
    update(QString(), {});
}

QString WineLinks::defaultPrefix()
{
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (!prefix.isEmpty())
        return prefix;
    return QDir::homePath() + QStringLiteral("/.wine");
}

int WineLinks::comNumber(const QString &portName)
{
    static const QRegularExpression com(
        QStringLiteral("^COM([1-9][0-9]{0,2})$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(portName);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString WineLinks::linkPath(const QString &prefix, const QString &portName)
{
    const int n = comNumber(portName);
    if (n == 0)
        return QString();
    return prefix + QStringLiteral("/dosdevices/com%1").arg(n);
}

WineLinks::Result WineLinks::link(const QString &prefix, const QString &portName, const QString &target)
{
    const QString path = linkPath(prefix, portName);
    if (path.isEmpty())
        return Result::NotComName;
    if (!QFileInfo(prefix).isDir()) {
        qWarning().noquote() << "Wine: prefix" << prefix << "does not exist;" << portName << "not linked";
        return Result::NoPrefix;
    }
    if (entryExists(path)) {
        if (readLink(path) == target)
            return Result::Linked;
        qWarning().noquote() << "Wine:" << path << "is not ours; left alone," << portName << "not linked";
        return Result::Foreign;
    }
    if (!QDir().mkpath(prefix + QStringLiteral("/dosdevices"))) {
        qWarning().noquote() << "Wine: cannot create" << prefix + QStringLiteral("/dosdevices");
        return Result::Failed;
    }
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) != 0) {
        qWarning().noquote() << "Wine: cannot link" << path << "-" << std::strerror(errno);
        return Result::Failed;
    }
    qDebug().noquote() << "Wine:" << portName << "is" << path;
    return Result::Linked;
}

bool WineLinks::unlink(const QString &prefix, const QString &portName, const QString &target)
{
    const QString path = linkPath(prefix, portName);
    if (path.isEmpty() || readLink(path) != target)
        return true;
    if (::unlink(QFile::encodeName(path).constData()) != 0) {
        qWarning().noquote() << "Wine: cannot remove" << path << "-" << std::strerror(errno);
        return false;
    }
    return true;
}

void WineLinks::update(const QString &prefix, const QMap<QString, QString> &ports)
{
    QVector<Made> kept;
    for (const Made &m : qAsConst(m_made)) {
        const bool stays = m.prefix == prefix && ports.value(m.port) == m.target;
        if (stays)
            kept << m;
        else if (!unlink(m.prefix, m.port, m.target))
            kept << m;
    }
    m_made = kept;
    for (auto it = ports.cbegin(); it != ports.cend(); ++it) {
        // A link already there to the same port counts as ours: a previous
        // run made it and ended without removing it.
        if (link(prefix, it.key(), it.value()) != Result::Linked)
            continue;
        const bool known = std::any_of(m_made.cbegin(), m_made.cend(),
            [&](const Made &m) { return m.prefix == prefix && m.port == it.key(); });
        if (!known)
            m_made << Made { prefix, it.key(), it.value() };
    }
}

QStringList WineLinks::links() const
{
    QStringList out;
    for (const Made &m : m_made)
        out << linkPath(m.prefix, m.port);
    return out;
}
