#pragma once

#include <QMutex>
#include <QString>

struct hid_device_;

namespace configurator {

// The Brelko's USB HID device: one instance, owned by the central widget and
// lent to every tab. Each call holds the mutex for its own duration only; a
// write-then-read pair relies on the single GUI thread.
class HidInterface final
{
    Q_DISABLE_COPY_MOVE(HidInterface)

public:
    // Fixed identity of the device model. The product id is this
    // configurator's choice for the Brelko's USB descriptor; the release
    // number tells the Brelko apart from other firmware on the same ids.
    static constexpr quint16 kVendorId = 0x0483;
    static constexpr quint16 kProductId = 0x5A42;
    static constexpr quint16 kReleaseNumber = 0x0100;
    static constexpr int kReadTimeoutMs = 250;

    HidInterface();
    ~HidInterface();

    static bool isPresent(quint16 vendorId, quint16 productId, quint16 releaseNumber);
    // Path of the first matching device, empty when none is present.
    static QByteArray devicePath(quint16 vendorId, quint16 productId, quint16 releaseNumber);

    bool open(quint16 vendorId, quint16 productId, quint16 releaseNumber);
    // Node the last open() found but was not allowed to open (no udev rule
    // for the seat, or wrong mode); empty when that was not the failure.
    QByteArray deniedPath();
    bool isOpen();
    void close();

    // hid_write result: bytes written, or -1.
    int write(const unsigned char *report, int length);
    // hid_read_timeout result with 250 ms: bytes read, 0 on time-out, -1 on error.
    int read(unsigned char *buffer, int length);
    QString errorString();

private:
    hid_device_ *m_device = nullptr;
    bool m_opened = false;
    QByteArray m_deniedPath;
    QMutex m_mutex;
};

} // namespace configurator
