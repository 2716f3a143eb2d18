#include "platform/vsportpty.h"

#include "platform/vsporttermios.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#ifndef TIOCPKT_IOCTL
#define TIOCPKT_IOCTL 64
#endif

namespace {

// Checked while the slave is closed and inotify is missing, and while a
// program has switched off the settings reports of packet mode.
constexpr int kFallbackPollMs = 10;

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

VSPortPty::VSPortPty(const QString &name, const QString &linkPath)
    : m_name(name)
    , m_linkPath(linkPath)
{
}

std::unique_ptr<VSPortPty> VSPortPty::create(
    const QString &name, const QString &ptmxPath, const QString &linkPath, QString *error)
{
    auto fail = [error](const QString &what) {
        if (error)
            *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
        return std::unique_ptr<VSPortPty>();
    };

    std::unique_ptr<VSPortPty> port(new VSPortPty(name, linkPath));
    port->m_master
        = ::open(QFile::encodeName(ptmxPath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port->m_master < 0)
        return fail(QStringLiteral("open ") + ptmxPath);
    if (grantpt(port->m_master) != 0 || unlockpt(port->m_master) != 0)
        return fail(QStringLiteral("unlockpt"));
    char slave[PATH_MAX] = {};
    if (ptsname_r(port->m_master, slave, sizeof slave) != 0)
        return fail(QStringLiteral("ptsname"));
    port->m_slavePath = QFile::decodeName(slave);

    int one = 1;
    if (ioctl(port->m_master, TIOCPKT, &one) != 0)
        return fail(QStringLiteral("TIOCPKT"));

    // Open and close the slave once: from then on the master reports a
    // hang-up whenever no program holds the slave.
    const int s = ::open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0)
        return fail(QStringLiteral("open ") + port->m_slavePath);
    const bool configured = vsportSetDefaults(s, false);
    ::close(s);
    if (!configured)
        return fail(QStringLiteral("termios"));
    bool ignored = false;
    port->drainMaster(&ignored);

    const QByteArray link = QFile::encodeName(linkPath);
    const QFileInfo old(linkPath);
    if (old.isSymLink()) {
        // Left over from a run that did not end cleanly.
        ::unlink(link.constData());
    } else if (old.exists()) {
        errno = EEXIST;
        return fail(linkPath);
    }
    if (::symlink(slave, link.constData()) != 0)
        return fail(QStringLiteral("symlink ") + linkPath);

    port->m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (port->m_wakeFd < 0) {
        ::unlink(link.constData());
        return fail(QStringLiteral("eventfd"));
    }
    port->m_notifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (port->m_notifyFd >= 0 && inotify_add_watch(port->m_notifyFd, slave, IN_OPEN) < 0)
        closeFd(port->m_notifyFd);

    port->m_alive.store(true);
    port->m_thread = std::thread([p = port.get()] { p->watch(); });
    return port;
}

VSPortPty::~VSPortPty()
{
    shutdown();
}

void VSPortPty::shutdown()
{
    if (m_thread.joinable()) {
        m_stop.store(true);
        wake();
        m_thread.join();
    }
    if (m_alive.exchange(false)) {
        const QByteArray link = QFile::encodeName(m_linkPath);
        // Only remove the link while it is still ours.
        if (QFileInfo(m_linkPath).symLinkTarget() == m_slavePath)
            ::unlink(link.constData());
    }
    m_opened.store(false);
    closeFd(m_master);
    closeFd(m_wakeFd);
    closeFd(m_notifyFd);
}

void VSPortPty::wake()
{
    if (m_wakeFd >= 0) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    }
}

QByteArray VSPortPty::readArray(int maxSize)
{
    if (maxSize <= 0)
        return QByteArray();
    std::lock_guard<std::mutex> lock(m_inLock);
    const bool wasFull = m_in.size() >= kInputLimit;
    // A copy with storage of its own: left() would hand out the watcher's
    // buffer itself (whole or emptied), and Qt's sharing check on it is not
    // ordered across threads.
    const QByteArray out(m_in.constData(), qMin(maxSize, m_in.size()));
    m_in.remove(0, out.size());
    m_inCount.store(m_in.size());
    if (wasFull && m_in.size() < kInputLimit)
        wake();
    return out;
}

void VSPortPty::discardInput()
{
    std::lock_guard<std::mutex> lock(m_inLock);
    const bool wasFull = m_in.size() >= kInputLimit;
    m_in.clear();
    m_inCount.store(0);
    if (wasFull)
        wake();
}

qint64 VSPortPty::writeArray(const QByteArray &data)
{
    if (data.isEmpty() || !m_opened.load() || m_master < 0)
        return 0;
    const ssize_t n = ::write(m_master, data.constData(), size_t(data.size()));
    return n > 0 ? qint64(n) : 0;
}

void VSPortPty::programSetRts(bool on)
{
    if (m_rts.exchange(on) != on)
        emit rtsChanged(on);
}

void VSPortPty::programSetDtr(bool on)
{
    if (m_dtr.exchange(on) != on)
        emit dtrChanged(on);
}

void VSPortPty::programSetBreak(bool on)
{
    if (m_break.exchange(on) != on)
        emit breakChanged(on);
}

bool VSPortPty::masterHungUp() const
{
    pollfd p { m_master, POLLIN, 0 };
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
}

bool VSPortPty::drainMaster(bool *settingsChanged)
{
    char buf[4097];
    int received = 0;
    bool alive = true;
    for (;;) {
        int room = 0;
        {
            std::lock_guard<std::mutex> lock(m_inLock);
            room = kInputLimit - m_in.size();
        }
        // With the buffer full, read only status packets: a one-byte read
        // returns either a status byte or the empty data marker.
        const int want = room > 0 ? qMin(room, int(sizeof buf) - 1) + 1 : 1;
        if (room <= 0) {
            pollfd p { m_master, POLLPRI, 0 };
            if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLPRI))
                break;
        }
        const ssize_t n = ::read(m_master, buf, size_t(want));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            alive = (errno == EAGAIN);
            break;
        }
        if (n == 0) {
            alive = false;
            break;
        }
        if (buf[0] != 0) {
            if (buf[0] & TIOCPKT_IOCTL)
                *settingsChanged = true;
            continue;
        }
        if (n > 1) {
            std::lock_guard<std::mutex> lock(m_inLock);
            m_in.append(buf + 1, int(n - 1));
            m_inCount.store(m_in.size());
            received += int(n - 1);
        }
    }
    if (received > 0)
        emit rxChar(received);
    return alive;
}

void VSPortPty::refreshLine(bool always)
{
    VSPortLine line;
    if (m_master < 0 || !vsportReadLine(m_master, &line))
        return;
    m_extproc = line.extproc;
    const bool baudChanged = m_baud.exchange(line.baudRate) != line.baudRate;
    bool lineChanged = m_stopBits.exchange(line.stopBits) != line.stopBits;
    lineChanged = (m_parity.exchange(line.parity) != line.parity) || lineChanged;
    lineChanged = (m_dataBits.exchange(line.dataBits) != line.dataBits) || lineChanged;
    if (always || baudChanged)
        emit baudRateChanged(line.baudRate);
    if (always || lineChanged)
        emit lineControlChanged(line.stopBits, line.parity, line.dataBits);
}

void VSPortPty::becomeOpened()
{
    m_opened.store(true);
    emit openClose(true);
    refreshLine(true);
}

void VSPortPty::becomeClosed()
{
    m_opened.store(false);
    // The next program starts in raw mode with settings reports on again,
    // keeping the rate and framing the last one chose.
    vsportSetDefaults(m_master, true);
    // What the program wrote and left unsent belongs to its session: it must
    // not reach the box ahead of the next program's commands. The master read
    // to its end before reporting the hang-up, so the buffer holds only this
    // program's bytes; whatever the drain below finds is a new program's.
    discardInput();
    bool ignored = false;
    drainMaster(&ignored);
    emit openClose(false);
}

void VSPortPty::watch()
{
    while (!m_stop.load()) {
        const bool opened = m_opened.load();
        bool full = false;
        {
            std::lock_guard<std::mutex> lock(m_inLock);
            full = m_in.size() >= kInputLimit;
        }
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = { m_wakeFd, POLLIN, 0 };
        const int notifyIndex = m_notifyFd >= 0 ? int(count) : -1;
        if (m_notifyFd >= 0)
            fds[count++] = { m_notifyFd, POLLIN, 0 };
        const int masterIndex = opened ? int(count) : -1;
        if (opened)
            fds[count++] = { m_master, short(full ? POLLPRI : (POLLIN | POLLPRI)), 0 };
        int timeout = -1;
        if ((!opened && m_notifyFd < 0) || (opened && !m_extproc))
            timeout = kFallbackPollMs;

        const int r = ::poll(fds, count, timeout);
        if (r < 0 && errno != EINTR)
            break;
        if (m_stop.load())
            break;
        if (fds[0].revents & POLLIN) {
            quint64 v = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &v, sizeof v);
        }
        bool sawOpen = false;
        if (notifyIndex >= 0 && (fds[notifyIndex].revents & POLLIN)) {
            alignas(inotify_event) char events[1024];
            while (::read(m_notifyFd, events, sizeof events) > 0)
                sawOpen = true;
        }

        if (!opened) {
            // Open before the first bytes are handed on: the answer to a
            // program's first question must find the port open, or it is
            // dropped.
            const bool nowOpen = sawOpen || (m_notifyFd < 0 && !masterHungUp());
            if (nowOpen)
                becomeOpened();
            // The program's first bytes, or bytes left in the master after a
            // close, kept back by a full buffer.
            bool settings = false;
            if (!full)
                drainMaster(&settings);
            if (nowOpen && settings)
                refreshLine(false);
            continue;
        }

        bool settings = false;
        const bool alive = drainMaster(&settings);
        if (settings || !m_extproc)
            refreshLine(settings);
        const bool hungUp = masterIndex >= 0 && (fds[masterIndex].revents & POLLHUP);
        if (!alive || (hungUp && masterHungUp() && m_inCount.load() >= kInputLimit))
            becomeClosed();
    }
}
