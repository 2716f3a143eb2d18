#include "sim/udpport.h"

#include <QNetworkDatagram>

UdpPort::UdpPort(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpPort::onReadyRead);
}

bool UdpPort::bind(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_socket.bind(address, port)) {
        if (error)
            *error = m_socket.errorString();
        return false;
    }
    return true;
}

void UdpPort::onReadyRead()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket.receiveDatagram();
        if (!d.isValid())
            break;
        ++m_datagrams;
        m_bytes += quint64(d.data().size());
        m_lastSender = d.senderAddress();
        m_lastSenderPort = quint16(d.senderPort());
        emit datagram(d.data(), m_lastSender, m_lastSenderPort);
    }
}
