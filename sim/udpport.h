#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>

// A UDP port of the box. Counts what arrives and remembers the last sender;
// the audio and keying models read the datagrams through datagram().
class UdpPort final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UdpPort)

public:
    explicit UdpPort(const QString &name, QObject *parent = nullptr);

    bool bind(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_socket.localPort(); }
    QString name() const { return m_name; }
    quint64 datagrams() const { return m_datagrams; }
    quint64 bytes() const { return m_bytes; }
    QHostAddress lastSender() const { return m_lastSender; }
    quint16 lastSenderPort() const { return m_lastSenderPort; }
    QUdpSocket *socket() { return &m_socket; }

signals:
    void datagram(const QByteArray &data, const QHostAddress &from, quint16 fromPort);

private:
    void onReadyRead();

    QString m_name;
    QUdpSocket m_socket;
    quint64 m_datagrams = 0;
    quint64 m_bytes = 0;
    QHostAddress m_lastSender;
    quint16 m_lastSenderPort = 0;
};
