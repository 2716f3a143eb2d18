#include "client/link/clientrif.h"

#include "client/link/packetmngr.h"

#include <QDebug>

namespace morvex {

ClientRIF::ClientRIF(QObject *parent)
    : QObject(parent)
{
    m_clisock.setSocketOption(QAbstractSocket::LowDelayOption, 1);

    connect(&m_clisock, &QTcpSocket::connected, this, &ClientRIF::connectSuccessful);
    connect(&m_clisock, &QTcpSocket::disconnected, this, &ClientRIF::disconnectSuccessful);
    connect(&m_clisock, &QTcpSocket::errorOccurred, this, &ClientRIF::error);
    connect(&m_clisock, &QTcpSocket::readyRead, this, &ClientRIF::dataAvailable);
    connect(&m_sendTimer, &QTimer::timeout, this, &ClientRIF::sendPackets);
    connect(&m_keepTimer, &QTimer::timeout, this, &ClientRIF::keepTimeout);
}

ClientRIF::~ClientRIF()
{
    // The socket may still report while it is torn down; nobody listens by then.
    m_clisock.disconnect(this);
    m_sendTimer.disconnect(this);
    m_keepTimer.disconnect(this);
    if (m_manager)
        m_manager->disconnect(this);
}

void ClientRIF::setServer(const QString &address, quint16 port)
{
    const QString host = address.trimmed();
    const QHostAddress parsed(host);
    if (!parsed.isNull()) {
        setServer(parsed, port);
        return;
    }
    if (host != m_host || !m_address.isNull() || port != m_port)
        m_addressChanged = true;
    m_address.clear();
    m_host = host;
    m_port = port;
}

void ClientRIF::setServer(const QHostAddress &address, quint16 port)
{
    if (address != m_address || port != m_port)
        m_addressChanged = true;
    m_address = address;
    m_host = address.toString();
    m_port = port;
}

QString ClientRIF::serverAddress() const
{
    return m_address.isNull() ? m_host : m_address.toString();
}

void ClientRIF::setPacketManager(PacketMngr *manager)
{
    if (m_manager)
        m_manager->disconnect(this);
    m_manager = manager;
    if (m_manager)
        connect(m_manager, &PacketMngr::changedData, this, &ClientRIF::sendPackets);
}

bool ClientRIF::isConnected() const
{
    return m_clisock.state() == QAbstractSocket::ConnectedState;
}

void ClientRIF::connectToServer()
{
    qDebug() << "void ClientRIF::connectToServer()";
    if (m_port == 0) {
        qWarning() << "Server address and port don't set";
        return;
    }
    if (!m_manager) {
        qWarning() << "PacketMngr doesn't register";
        return;
    }

    const QAbstractSocket::SocketState s = m_clisock.state();
    if (s == QAbstractSocket::UnconnectedState) {
        qDebug().noquote() << "Connecting to host " << serverAddress() << ":" << m_port << "...";
        m_attempt = true;
        // This attempt uses the stored address: nothing is left to redirect.
        m_addressChanged = false;
        if (m_address.isNull())
            m_clisock.connectToHost(m_host, m_port, QIODevice::ReadWrite);
        else
            m_clisock.connectToHost(m_address, m_port, QIODevice::ReadWrite);
        return;
    }

    qDebug() << "socket in" << s;
    if (m_addressChanged) {
        m_addressChanged = false;
        m_clisock.abort();
        qDebug() << "try to m_clisock.abort()" << m_clisock.state();
        // From the connected state the abort has reported through disconnectSuccessful().
        if (s == QAbstractSocket::ConnectedState)
            return;
        stopTimers();
        qDebug() << "void ClientRIF::connectToServer()" << s;
        announceDisconnected();
    } else {
        qDebug() << "try to disconnectFromHost()";
        disconnectFromServer();
    }
}

void ClientRIF::disconnectFromServer()
{
    qDebug() << "void ClientRIF::disconnectFromServer()";
    stopTimers();
    m_clisock.disconnectFromHost();
}

void ClientRIF::connectSuccessful()
{
    qDebug() << "void ClientRIF::connectSuccessful()";
    // Qt drops options set before the socket exists; set it again on the live one.
    m_clisock.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // A frame cut off by the previous connection must not corrupt this one.
    if (m_manager)
        m_manager->clearBuffer();
    m_sendTimer.start(m_sendInterval);
    m_keepTimer.start(m_keepTimeout);
    emit connected();
    sendPackets();
}

void ClientRIF::disconnectSuccessful()
{
    qDebug() << "void ClientRIF::disconnectSuccessful()";
    stopTimers();
    if (m_manager)
        m_manager->resetItems();
    announceDisconnected();
}

void ClientRIF::error(QAbstractSocket::SocketError socketError)
{
    qDebug().noquote() << "socket error: " << socketError
                       << QStringLiteral("(%1)").arg(m_clisock.errorString());
    qDebug() << "Socket state" << m_clisock.state();
    if (m_manager)
        m_manager->resetItems();
    if (m_clisock.state() == QAbstractSocket::UnconnectedState) {
        qDebug() << "void ClientRIF::error(QAbstractSocket::SocketError)";
        stopTimers();
        announceDisconnected();
    }
}

void ClientRIF::sendPackets()
{
    if (m_clisock.state() != QAbstractSocket::ConnectedState || !m_manager)
        return;
    const QByteArray batch = m_manager->buildPackets();
    if (m_clisock.write(batch) < 0) {
        qDebug() << "void ClientRIF::sendPackets()"
                 << "write error";
        disconnectFromServer();
        return;
    }
    m_clisock.flush();
    // The next periodic batch follows a full interval after this one.
    m_sendTimer.start(m_sendInterval);
}

void ClientRIF::dataAvailable()
{
    QByteArray received;
    while (m_clisock.bytesAvailable() > 0) {
        const QByteArray chunk = m_clisock.read(kReadChunk);
        if (chunk.isEmpty())
            break;
        received.append(chunk);
    }
    if (m_manager) {
        m_manager->addData(received);
        m_manager->parcePacket();
    }
    if (m_clisock.state() == QAbstractSocket::ConnectedState)
        m_keepTimer.start(m_keepTimeout);
}

void ClientRIF::keepTimeout()
{
    qDebug() << "void ClientRIF::keepTimeout()"
             << "keepTimeout()";
    disconnectFromServer();
}

void ClientRIF::stopTimers()
{
    m_sendTimer.stop();
    m_keepTimer.stop();
}

void ClientRIF::announceDisconnected()
{
    if (!m_attempt)
        return;
    m_attempt = false;
    emit disconnected();
}

} // namespace morvex
