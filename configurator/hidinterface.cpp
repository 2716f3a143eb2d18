#include "configurator/hidinterface.h"

#include <QByteArray>
#include <QMutexLocker>

#include <hidapi.h>

#include <cerrno>
#include <unistd.h>

namespace configurator {

HidInterface::HidInterface()
{
    // A fresh hidapi state for the life of this object.
    hid_exit();
    hid_init();
}

HidInterface::~HidInterface()
{
    QMutexLocker lock(&m_mutex);
    if (m_opened && m_device)
        hid_close(m_device);
    m_device = nullptr;
    m_opened = false;
    hid_exit();
}

bool HidInterface::isPresent(quint16 vendorId, quint16 productId, quint16 releaseNumber)
{
    return !devicePath(vendorId, productId, releaseNumber).isEmpty();
}

QByteArray HidInterface::devicePath(quint16 vendorId, quint16 productId, quint16 releaseNumber)
{
    hid_device_info *all = hid_enumerate(vendorId, productId);
    QByteArray path;
    for (hid_device_info *d = all; d; d = d->next) {
        if (d->release_number == releaseNumber) {
            path = QByteArray(d->path ? d->path : "?");
            break;
        }
    }
    hid_free_enumeration(all);
    return path;
}

bool HidInterface::open(quint16 vendorId, quint16 productId, quint16 releaseNumber)
{
    QMutexLocker lock(&m_mutex);
    if (m_opened)
        return true;
    m_deniedPath.clear();
    hid_device_info *all = hid_enumerate(vendorId, productId);
    for (hid_device_info *d = all; d; d = d->next) {
        if (d->release_number == releaseNumber) {
            errno = 0;
            m_device = hid_open_path(d->path);
            // hidapi reports failures as text only: take errno from its
            // open(2), or ask the node itself.
            const bool denied = errno == EACCES || errno == EPERM
                || (d->path && ::access(d->path, R_OK | W_OK) != 0 && errno == EACCES);
            if (!m_device && d->path && denied)
                m_deniedPath = QByteArray(d->path);
            break;
        }
    }
    hid_free_enumeration(all);
    m_opened = m_device != nullptr;
    return m_opened;
}

QByteArray HidInterface::deniedPath()
{
    QMutexLocker lock(&m_mutex);
    return m_deniedPath;
}

bool HidInterface::isOpen()
{
    QMutexLocker lock(&m_mutex);
    return m_opened;
}

void HidInterface::close()
{
    QMutexLocker lock(&m_mutex);
    if (!m_opened)
        return;
    hid_close(m_device);
    m_device = nullptr;
    m_opened = false;
}

int HidInterface::write(const unsigned char *report, int length)
{
    QMutexLocker lock(&m_mutex);
    if (!m_opened || length < 0)
        return -1;
    return hid_write(m_device, report, size_t(length));
}

int HidInterface::read(unsigned char *buffer, int length)
{
    QMutexLocker lock(&m_mutex);
    if (!m_opened || length < 0)
        return -1;
    return hid_read_timeout(m_device, buffer, size_t(length), kReadTimeoutMs);
}

QString HidInterface::errorString()
{
    QMutexLocker lock(&m_mutex);
    const wchar_t *text = hid_error(m_opened ? m_device : nullptr);
    return text ? QString::fromWCharArray(text) : QString();
}

} // namespace configurator
