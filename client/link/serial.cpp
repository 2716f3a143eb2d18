#include "client/link/serial.h"

#include "client/ports/vserial.h"

#include <QDebug>

namespace morvex {

Q_LOGGING_CATEGORY(lcSerialPacket, "serial.packet")

Serial::Serial(qint32 type, QObject *parent)
    : AbstractPacket(type, parent)
{
}

void Serial::setPort(VSerial *port)
{
    if (port == m_port)
        return;
    for (const QMetaObject::Connection &c : qAsConst(m_connections))
        disconnect(c);
    m_connections.clear();
    m_port = port;
    if (!port)
        return;
    m_connections << connect(port, &VSerial::readyRead, this, &Serial::changedData)
                  << connect(port, &VSerial::changeOpenClose, this, &Serial::setOpen)
                  << connect(port, &VSerial::changeBaudRate, this, &Serial::setBaudRate)
                  << connect(port, &VSerial::changeLineControl, this, &Serial::setLineState);
}

quint32 Serial::lineWord() const
{
    const bool open = m_opened && m_port && m_port->isOpen();
    return (open ? 1u : 0u) | ((quint32(m_dataBits) & 0x0Fu) << 1) | ((quint32(m_parity) & 0x07u) << 5)
        | ((quint32(m_stopBits) & 0x03u) << 8) | (quint32(m_baudRate) << 10);
}

QByteArray Serial::create(qint32 maxSize, qint32 *usedSize)
{
    if (usedSize)
        *usedSize = 0;
    if (!m_opened || !m_permitted || maxSize <= kPacketHeaderSize || !m_port || m_window == 0)
        return QByteArray();

    // The length field holds at most 65535 bytes.
    const qint64 room = qMin<qint64>(maxSize - kPacketHeaderSize, 0xFFFF);
    const qint64 want = qMin<qint64>(room, qint64(m_window));
    QByteArray payload = m_port->read(want);
    if (payload.isEmpty())
        return QByteArray();
    if (payload.size() > want)
        payload.truncate(int(want));

    const int n = payload.size();
    setActivity();
    if (usedSize)
        *usedSize = n + kPacketHeaderSize;
    m_window -= quint32(n);
    return makeFrame(quint8(type()), lineWord(), payload);
}

void Serial::addData(const QByteArray &data)
{
    addData(data.constData(), data.size());
}

void Serial::addData(const char *data, int size)
{
    if (!m_port)
        return;
    if (size > 0)
        m_port->write(data, size);
    setActivity();
}

void Serial::setHeader(PacketHeader header)
{
    // The box states its whole window each time; it is not a credit to add.
    m_window = header.value;
    if (m_window != 0 && m_port && m_port->bytesAvailable() > 0)
        emit changedData();
}

void Serial::reset()
{
    m_window = 1;
    takeActivity();
    if (m_port)
        m_port->reset();
    if (lcSerialPacket().isDebugEnabled()) {
        const QByteArray name = m_port ? m_port->portName().toLatin1() : QByteArray();
        qCDebug(lcSerialPacket, "Reset serial packet for %s port", name.constData());
    }
}

void Serial::setOpen(bool open)
{
    qCDebug(lcSerialPacket) << "Open " << (open ? "true" : "false");
    m_opened = open;
}

void Serial::setBaudRate(int baud)
{
    m_baudRate = baud;
    qCDebug(lcSerialPacket).noquote() << (m_port ? m_port->portName() : QString()) << baud;
}

void Serial::setLineState(int stopBits, int parity, int dataBits)
{
    m_stopBits = stopBits;
    m_parity = parity;
    m_dataBits = dataBits;
}

} // namespace morvex
