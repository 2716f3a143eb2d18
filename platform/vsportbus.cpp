#include "platform/vsportbus.h"

#include "platform/vsportpty.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

VSPortBus &VSPortBus::instance()
{
    static VSPortBus bus;
    return bus;
}

VSPortBus::~VSPortBus()
{
    removeAll();
}

QString VSPortBus::ptmxPath()
{
    const QString custom = qEnvironmentVariable("VSPORT_PTMX");
    return custom.isEmpty() ? QStringLiteral("/dev/ptmx") : custom;
}

bool VSPortBus::isUsable()
{
    const int fd = ::open(QFile::encodeName(ptmxPath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool isPtmx = unlockpt(fd) == 0;
    ::close(fd);
    return isPtmx;
}

QString VSPortBus::directory()
{
    QString dir = qEnvironmentVariable("VSPORT_DIR");
    if (dir.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        dir = runtime.isEmpty() ? QStringLiteral("/tmp/vsport-%1").arg(getuid())
                                : runtime + QStringLiteral("/vsport");
    }
    return dir;
}

QString VSPortBus::canonicalName(const QString &name)
{
    static const QRegularExpression re(
        QStringLiteral("^COM([1-9][0-9]{0,2})$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(name);
    if (!m.hasMatch() || m.captured(1).toInt() > 255)
        return QString();
    return QStringLiteral("COM") + m.captured(1);
}

std::shared_ptr<VSPortPty> VSPortBus::create(const QString &name, QString *error)
{
    const QString canonical = canonicalName(name);
    if (canonical.isEmpty()) {
        if (error)
            *error = QStringLiteral("bad port name");
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    for (const auto &p : m_ports) {
        if (p->name() == canonical) {
            if (error)
                *error = QStringLiteral("port exists");
            return nullptr;
        }
    }
    const QString dir = directory();
    // A folder we make is private: the links lead to terminals of this user.
    const bool existed = QFileInfo::exists(dir);
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot create ") + dir;
        return nullptr;
    }
    if (!existed)
        ::chmod(QFile::encodeName(dir).constData(), 0700);
    std::shared_ptr<VSPortPty> port(
        VSPortPty::create(canonical, ptmxPath(), dir + QLatin1Char('/') + canonical, error));
    if (port)
        m_ports.push_back(port);
    return port;
}

std::shared_ptr<VSPortPty> VSPortBus::find(const QString &name) const
{
    const QString canonical = canonicalName(name);
    std::lock_guard<std::mutex> lock(m_lock);
    for (const auto &p : m_ports) {
        if (p->name() == canonical)
            return p;
    }
    return nullptr;
}

bool VSPortBus::remove(const std::shared_ptr<VSPortPty> &port)
{
    std::shared_ptr<VSPortPty> removed;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (auto it = m_ports.begin(); it != m_ports.end(); ++it) {
            if (*it == port) {
                removed = *it;
                m_ports.erase(it);
                break;
            }
        }
    }
    if (!removed)
        return false;
    removed->shutdown();
    return true;
}

int VSPortBus::count() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return int(m_ports.size());
}

QString VSPortBus::nameAt(int index) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (index < 0 || index >= int(m_ports.size()))
        return QString();
    return m_ports[size_t(index)]->name();
}

void VSPortBus::removeAll()
{
    std::vector<std::shared_ptr<VSPortPty>> ports;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ports.swap(m_ports);
    }
    for (const auto &p : ports)
        p->shutdown();
}
