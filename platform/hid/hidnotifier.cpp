#include "platform/hid/hidnotifier.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <hidapi.h>

#ifdef BRELKO_HAVE_UDEV
#include <libudev.h>
#endif

namespace {
constexpr int kPollMs = 1000;
// udev announces the hidraw node a little before it can be opened.
constexpr int kSettleMs = 150;
} // namespace

HidNotifier *HidNotifier::instance()
{
    static QPointer<HidNotifier> self;
    if (!self)
        self = new HidNotifier(QCoreApplication::instance());
    return self;
}

HidNotifier::HidNotifier(QObject *parent)
    : QObject(parent)
    , m_poll(new QTimer(this))
{
    m_devices = enumerate();
    startUdev();
    m_poll->setInterval(kPollMs);
    connect(m_poll, &QTimer::timeout, this, &HidNotifier::rescan);
    m_poll->start();
}

HidNotifier::~HidNotifier()
{
#ifdef BRELKO_HAVE_UDEV
    delete m_udevNotifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
#endif
}

void HidNotifier::startUdev()
{
#ifdef BRELKO_HAVE_UDEV
    m_udev = udev_new();
    if (m_udev)
        m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0
        || udev_monitor_enable_receiving(m_monitor) < 0) {
        qWarning() << "HidNotifier: no udev monitor, polling the HID devices only";
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return;
    }
    m_udevNotifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
    connect(m_udevNotifier, &QSocketNotifier::activated, this, &HidNotifier::onUdevEvent);
#endif
}

void HidNotifier::onUdevEvent()
{
#ifdef BRELKO_HAVE_UDEV
    udev_device *dev = udev_monitor_receive_device(m_monitor);
    if (!dev)
        return;
    const QByteArray action = udev_device_get_action(dev);
    udev_device_unref(dev);
    // udev sees a quick unplug and replug that the comparison would miss.
    if (action == "add")
        emit deviceArrival();
    else if (action == "remove")
        emit deviceRemove();
    else
        return;
    // Take the new list silently once the node has settled, so polling does
    // not report the same device again.
    m_poll->stop();
    QTimer::singleShot(kSettleMs, this, [this] {
        m_devices = enumerate();
        m_poll->start();
    });
#endif
}

QSet<QString> HidNotifier::enumerate()
{
    QSet<QString> found;
    hid_device_info *all = hid_enumerate(0, 0);
    for (hid_device_info *d = all; d; d = d->next) {
        found.insert(QStringLiteral("%1|%2|%3|%4")
                         .arg(QString::fromLocal8Bit(d->path))
                         .arg(d->vendor_id)
                         .arg(d->product_id)
                         .arg(d->release_number));
    }
    hid_free_enumeration(all);
    return found;
}

void HidNotifier::rescan()
{
    const QSet<QString> now = enumerate();
    if (now == m_devices)
        return;
    const QSet<QString> gone = QSet<QString>(m_devices).subtract(now);
    const QSet<QString> added = QSet<QString>(now).subtract(m_devices);
    m_devices = now;
    for (int i = 0; i < gone.size(); ++i)
        emit deviceRemove();
    for (int i = 0; i < added.size(); ++i)
        emit deviceArrival();
}
