#pragma once

#include "client/link/abstractpacket.h"
#include "client/ports/vserial.h"

#include <QList>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPointer>

namespace morvex {

Q_DECLARE_LOGGING_CATEGORY(lcSerialPacket)

// Tunnels one virtual serial port over the command link: what the local
// program writes leaves in frames of this type with the port's line settings
// in the header value; received payload goes to the program. The header
// value of a received frame is how many bytes the box accepts from now on.
class Serial final : public AbstractPacket
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Serial)

public:
    explicit Serial(qint32 type, QObject *parent = nullptr);

    void setPort(VSerial *port);
    VSerial *port() const { return m_port; }
    void setPermitted(bool permitted) { m_permitted = permitted; }
    bool isPermitted() const { return m_permitted; }

    bool isOpen() const { return m_opened; }
    int baudRate() const { return m_baudRate; }
    int dataBits() const { return m_dataBits; }
    int parity() const { return m_parity; }
    int stopBits() const { return m_stopBits; }
    quint32 sendWindow() const { return m_window; }
    // Header value of the next outgoing frame.
    quint32 lineWord() const;

    QByteArray create(qint32 maxSize, qint32 *usedSize) override;
    void addData(const QByteArray &data) override;
    void addData(const char *data, int size) override;
    void setHeader(PacketHeader header) override;
    void reset() override;

public slots:
    void setOpen(bool open);
    void setBaudRate(int baud);
    void setLineState(int stopBits, int parity, int dataBits);

private:
    QPointer<VSerial> m_port;
    bool m_opened = false;
    int m_baudRate = 9600;
    int m_dataBits = 8;
    int m_parity = 0;
    int m_stopBits = 0;
    quint32 m_window = 1;
    bool m_permitted = false;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace morvex
