#pragma once

#include "sim/hid/hiddevicemodel.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QQueue>

#include <memory>

class QLocalServer;
class QLocalSocket;

// The simulated USB HID bus: Brelko models (and any other devices a test
// plugs in) served on a Unix socket to the preloaded hidapi replacement,
// plus the line commands that plug, unplug and script them.
class HidSimServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HidSimServer)

public:
    static constexpr quint16 kVendorId = 0x0483;
    static constexpr quint16 kProductId = 0x5A42;
    static constexpr quint16 kRelease = 0x0100;

    explicit HidSimServer(QObject *parent = nullptr);
    ~HidSimServer() override;

    bool listen(const QString &path);
    QString socketPath() const { return m_path; }

    // A control command ("plug", "@other log", ...). Returns the answer text;
    // *ok is false for an unknown or malformed command.
    QString control(const QString &line, bool *ok = nullptr);

    // Device "brelko" exists from the start (plugged unless told otherwise).
    HidDeviceModel *model(const QString &device = QStringLiteral("brelko"));

private:
    struct Device
    {
        QString name;
        quint16 vid = 0;
        quint16 pid = 0;
        quint16 release = 0;
        bool plugged = false;
        int generation = 0;
        int unplugAfter = 0;
        int rejoinToken = 0;
        // Opening is refused as a node without access rights would be.
        bool denied = false;
        HidDeviceModel model;
    };
    struct Handle
    {
        QString device;
        int generation = 0;
        QQueue<QByteArray> pending;
    };

    void onNewConnection();
    void serve(QLocalSocket *sock);
    QByteArray request(const QByteArray &line);
    Device *find(const QString &name);
    Device *byPath(const QString &path);
    Handle *liveHandle(long id, QByteArray *error);
    void plug(Device *d, bool on);
    void leaveAndRejoin(Device *d);
    // Each time a device joins the bus it gets a new path, as a
    // re-enumerated USB device does.
    static QString pathOf(const Device &d)
    {
        return QStringLiteral("brelkosim:%1:%2").arg(d.name).arg(d.generation);
    }

    QLocalServer *m_server = nullptr;
    QString m_path;
    QList<std::shared_ptr<Device>> m_devices;
    QHash<long, Handle> m_handles;
    long m_nextHandle = 1;
    int m_rejoinMs = 1000;
    int m_largestReport = 0;
};
