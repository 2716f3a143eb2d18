#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QSocketNotifier;
class QTimer;
struct udev;
struct udev_monitor;

// Reports the arrival and removal of any HID device, within a second. A udev
// hidraw event triggers an immediate look; a once-per-second comparison of
// hid_enumerate results catches everything else, including devices that
// exist only behind a preloaded hidapi.
class HidNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HidNotifier)

public:
    // The process-wide instance, created on first use (parent: the application).
    static HidNotifier *instance();
    ~HidNotifier() override;

    // Compares the device list now instead of at the next tick.
    void rescan();

signals:
    void deviceArrival();
    void deviceRemove();

private:
    explicit HidNotifier(QObject *parent = nullptr);
    void startUdev();
    void onUdevEvent();
    static QSet<QString> enumerate();

    QSet<QString> m_devices;
    QTimer *m_poll = nullptr;
    QSocketNotifier *m_udevNotifier = nullptr;
    struct udev *m_udev = nullptr;
    struct udev_monitor *m_monitor = nullptr;
};
