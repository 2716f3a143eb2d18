#pragma once

#include "sim/simframe.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QVector>

#include <memory>

// What arrived on the command link, kept for the control channel.
struct RxRecord
{
    int conn = 0;
    qint64 ms = 0;
    bool checksumOk = true;
    SimFrame::Frame frame;
};

struct LinkEvent
{
    qint64 ms = 0;
    int conn = 0;
    QString what;
};

struct FirmwareVersion
{
    quint32 ver = 1;
    quint32 subver = 1;
    quint32 pointver = 7;

    static bool parse(const QString &text, FirmwareVersion *out);
    QString toString() const;
};

// The Brelko's side of the TCP command link: one client at a time, log-in
// check, firmware announcement, transmit-state reports, error frames and
// time-outs. Other parts of the simulator hook in through frameReceived()
// and sendFrame().
class CmdLinkServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CmdLinkServer)

public:
    static constexpr int kMaxRecords = 100000;

    explicit CmdLinkServer(QObject *parent = nullptr);
    ~CmdLinkServer() override;

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }

    void setPassword(const QString &password) { m_password = password; }
    QString password() const { return m_password; }
    // Further passwords that log in (the permission slots' own).
    void setExtraPasswords(const QStringList &passwords) { m_extraPasswords = passwords; }
    // The password the current client logged in with.
    QString loginPassword() const { return m_loginPassword; }
    void setFirmware(const FirmwareVersion &fw) { m_firmware = fw; }
    FirmwareVersion firmware() const { return m_firmware; }
    // Silent: nothing goes out by itself (reports, answers, time-out errors);
    // explicit sends from the control channel still do.
    void setSilent(bool silent) { m_silent = silent; }
    bool isSilent() const { return m_silent; }
    void setHeartbeatInterval(int ms);
    void setLoginTimeout(int ms) { m_loginTimeout = ms; }
    void setIdleTimeout(int ms) { m_idleTimeout = ms; }

    bool hasClient() const { return m_active != nullptr; }
    bool isLoggedIn() const;
    int activeConnection() const;
    int connectionCount() const { return m_nextId - 1; }
    bool pttState() const { return m_ptt; }
    int checksumErrors() const { return m_checksumErrors; }
    // PTT frames taken from logged-in clients; never cleared. A client sends
    // one in every batch, so tests count its batches with it.
    int pttFrames() const { return m_pttFrames; }

    // To the active client; false when there is none.
    bool sendFrame(quint8 type, quint32 value, const QByteArray &payload = QByteArray());
    bool sendRaw(const QByteArray &bytes);
    // Bytes written to the active client that the socket has not sent yet.
    qint64 pendingBytes() const { return m_active ? m_active->socket->bytesToWrite() : 0; }
    bool sendError(quint32 code);
    bool sendFirmware();
    // Ends the active connection: gracefully, or with a reset.
    bool dropClient(bool abort);

    const QVector<RxRecord> &records() const { return m_records; }
    const QVector<LinkEvent> &events() const { return m_events; }
    void clearRecords();
    qint64 elapsed() const { return m_clock.elapsed(); }
    // Simulator time of the last bytes written to a client (-1: none yet).
    qint64 lastTransmit() const { return m_lastTx; }

signals:
    void clientLoggedIn(int conn);
    void clientGone(int conn);
    void frameReceived(int conn, const SimFrame::Frame &frame);

private:
    struct Connection
    {
        int id = 0;
        QTcpSocket *socket = nullptr;
        FrameReader reader;
        bool loggedIn = false;
        bool closing = false;
        qint64 lastRx = 0;
        qint64 opened = 0;
    };

    void onNewConnection();
    void onReadyRead(Connection *c);
    void onDisconnected(Connection *c);
    void handleFrame(Connection *c, const SimFrame::Frame &frame);
    void handleLogin(Connection *c, const SimFrame::Frame &frame);
    void checkTimeouts();
    void heartbeat();
    void refuse(Connection *c, quint32 code, const QString &why);
    void writeTo(Connection *c, const QByteArray &bytes);
    void note(int conn, const QString &what);
    void purgeClosed();

    QTcpServer m_server;
    QList<Connection *> m_connections;
    // Closed connections, freed on the next turn of the event loop so that
    // code still running for them never touches freed memory.
    QList<Connection *> m_closed;
    Connection *m_active = nullptr;
    int m_nextId = 1;

    QString m_password = QStringLiteral("brelko");
    QStringList m_extraPasswords;
    QString m_loginPassword;
    FirmwareVersion m_firmware;
    bool m_silent = false;
    bool m_ptt = false;
    int m_loginTimeout = 10000;
    int m_idleTimeout = 10000;
    int m_checksumErrors = 0;
    int m_pttFrames = 0;

    QTimer m_heartbeat;
    QTimer m_watchdog;
    QElapsedTimer m_clock;
    qint64 m_lastTx = -1;
    QVector<RxRecord> m_records;
    QVector<LinkEvent> m_events;
};
