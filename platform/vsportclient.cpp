#include "platform/vsportclient.h"

#include "platform/vsportbus.h"
#include "platform/vsportpty.h"
#include "platform/vsporttermios.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

VSPortClient::~VSPortClient()
{
    close();
}

bool VSPortClient::open(const QString &name)
{
    close();
    const QString path = VSPortBus::directory() + QLatin1Char('/') + name;
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_port = VSPortBus::instance().find(name);
    return true;
}

void VSPortClient::close()
{
    if (m_fd < 0)
        return;
    // Lines drop when a program lets go of a port.
    setRts(false);
    setDtr(false);
    setBreak(false);
    ::close(m_fd);
    m_fd = -1;
    m_port.reset();
}

bool VSPortClient::setLine(int baudRate, int dataBits, int parity, int stopBits)
{
    return m_fd >= 0 && vsportWriteLine(m_fd, baudRate, dataBits, parity, stopBits);
}

qint64 VSPortClient::write(const QByteArray &data, int timeoutMs)
{
    if (m_fd < 0)
        return -1;
    QElapsedTimer timer;
    timer.start();
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_fd, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            break;
        pollfd p { m_fd, POLLOUT, 0 };
        ::poll(&p, 1, int(left));
    }
    return done;
}

QByteArray VSPortClient::read(int maxSize, int timeoutMs)
{
    if (m_fd < 0 || maxSize <= 0)
        return QByteArray();
    pollfd p { m_fd, POLLIN, 0 };
    if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN))
        return QByteArray();
    QByteArray out(maxSize, '\0');
    const ssize_t n = ::read(m_fd, out.data(), size_t(maxSize));
    out.resize(n > 0 ? int(n) : 0);
    return out;
}

bool VSPortClient::setRts(bool on)
{
    if (!m_port)
        return false;
    m_port->programSetRts(on);
    return true;
}

bool VSPortClient::setDtr(bool on)
{
    if (!m_port)
        return false;
    m_port->programSetDtr(on);
    return true;
}

bool VSPortClient::setBreak(bool on)
{
    if (!m_port)
        return false;
    m_port->programSetBreak(on);
    return true;
}

bool VSPortClient::cts() const
{
    return m_port && m_port->cts();
}

bool VSPortClient::dcd() const
{
    return m_port && m_port->dcd();
}

bool VSPortClient::dsr() const
{
    return m_port && m_port->dsr();
}
