#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

namespace morvex {

class PacketMngr;

// Client end of the TCP command link: writes the manager's batches, feeds
// received bytes back to it, keeps the Brelko hearing from us every 2 s and
// drops the link after 8 s of silence. Reconnecting is the caller's business.
class ClientRIF final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClientRIF)

public:
    static constexpr int kSendInterval = 2000;
    static constexpr int kKeepAliveTimeout = 8000;
    static constexpr qint64 kReadChunk = 1024;

    explicit ClientRIF(QObject *parent = nullptr);
    ~ClientRIF() override;

    void setServer(const QString &address, quint16 port);
    void setServer(const QHostAddress &address, quint16 port);
    QString serverAddress() const;
    quint16 serverPort() const { return m_port; }
    bool addressChanged() const { return m_addressChanged; }

    void setPacketManager(PacketMngr *manager);
    bool isConnected() const;
    QAbstractSocket::SocketState state() const { return m_clisock.state(); }
    QAbstractSocket::SocketError lastError() const { return m_clisock.error(); }
    QTcpSocket *socket() { return &m_clisock; }

    void connectToServer();
    void disconnectFromServer();

signals:
    void connected();
    void disconnected();

public slots:
    void connectSuccessful();
    void disconnectSuccessful();
    void error(QAbstractSocket::SocketError socketError);
    void sendPackets();
    void dataAvailable();
    void keepTimeout();

private:
    void stopTimers();
    void announceDisconnected();

    QHostAddress m_address;
    // The address as given: a host name (a dynamic DNS name, say) has no
    // QHostAddress until it is looked up at connect time.
    QString m_host;
    quint16 m_port = 0;
    int m_sendInterval = kSendInterval;
    int m_keepTimeout = kKeepAliveTimeout;
    QTimer m_sendTimer;
    QTimer m_keepTimer;
    QTcpSocket m_clisock;
    PacketMngr *m_manager = nullptr;
    bool m_addressChanged = false;
    // True from a connection attempt until its end has been announced, so
    // every attempt ends in exactly one disconnected().
    bool m_attempt = false;
};

} // namespace morvex
