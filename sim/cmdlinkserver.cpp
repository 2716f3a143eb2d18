#include "sim/cmdlinkserver.h"

#include <QDebug>
#include <QStringList>

bool FirmwareVersion::parse(const QString &text, FirmwareVersion *out)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 3)
        return false;
    quint32 v[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        v[i] = parts.at(i).toUInt(&ok);
        if (!ok)
            return false;
    }
    out->ver = v[0];
    out->subver = v[1];
    out->pointver = v[2];
    return true;
}

QString FirmwareVersion::toString() const
{
    return QStringLiteral("%1.%2.%3").arg(ver).arg(subver).arg(pointver);
}

CmdLinkServer::CmdLinkServer(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
    connect(&m_server, &QTcpServer::newConnection, this, &CmdLinkServer::onNewConnection);
    m_heartbeat.setInterval(1000);
    connect(&m_heartbeat, &QTimer::timeout, this, &CmdLinkServer::heartbeat);
    m_watchdog.setInterval(100);
    connect(&m_watchdog, &QTimer::timeout, this, &CmdLinkServer::checkTimeouts);
}

CmdLinkServer::~CmdLinkServer()
{
    for (Connection *c : qAsConst(m_connections)) {
        c->socket->disconnect(this);
        c->socket->abort();
        delete c->socket;
        delete c;
    }
    m_connections.clear();
    purgeClosed();
}

void CmdLinkServer::purgeClosed()
{
    qDeleteAll(m_closed);
    m_closed.clear();
}

bool CmdLinkServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_server.listen(address, port)) {
        if (error)
            *error = m_server.errorString();
        return false;
    }
    m_heartbeat.start();
    m_watchdog.start();
    return true;
}

void CmdLinkServer::setHeartbeatInterval(int ms)
{
    if (ms <= 0) {
        m_heartbeat.stop();
        return;
    }
    m_heartbeat.setInterval(ms);
    if (m_server.isListening())
        m_heartbeat.start();
}

bool CmdLinkServer::isLoggedIn() const
{
    return m_active && m_active->loggedIn;
}

int CmdLinkServer::activeConnection() const
{
    return m_active ? m_active->id : 0;
}

void CmdLinkServer::note(int conn, const QString &what)
{
    m_events.append({ m_clock.elapsed(), conn, what });
    qInfo().noquote() << QStringLiteral("conn=%1 %2").arg(conn).arg(what);
}

void CmdLinkServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *c = new Connection;
        c->id = m_nextId++;
        c->socket = socket;
        c->opened = c->lastRx = m_clock.elapsed();
        m_connections.append(c);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { onReadyRead(c); });
        connect(socket, &QTcpSocket::disconnected, this, [this, c] { onDisconnected(c); });
        note(c->id,
            QStringLiteral("open from %1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()));

        if (m_active) {
            // The box serves one client; the newcomer learns why it is dropped.
            refuse(c, SimFrame::MultipleConnection, QStringLiteral("second client"));
            continue;
        }
        m_active = c;
    }
}

void CmdLinkServer::onReadyRead(Connection *c)
{
    const QByteArray bytes = c->socket->readAll();
    if (bytes.isEmpty())
        return;
    c->lastRx = m_clock.elapsed();
    c->reader.append(bytes);
    for (;;) {
        SimFrame::Frame frame;
        const FrameReader::Result r = c->reader.next(&frame);
        if (r == FrameReader::NeedMore)
            break;
        RxRecord rec;
        rec.conn = c->id;
        rec.ms = m_clock.elapsed();
        rec.checksumOk = (r == FrameReader::Good);
        rec.frame = frame;
        if (m_records.size() < kMaxRecords)
            m_records.append(rec);
        qInfo().noquote() << QStringLiteral("conn=%1 rx type=%2 value=%3 len=%4 crc=%5")
                                 .arg(c->id)
                                 .arg(frame.type)
                                 .arg(frame.value)
                                 .arg(frame.length)
                                 .arg(rec.checksumOk ? QStringLiteral("ok") : QStringLiteral("bad"));
        if (!rec.checksumOk) {
            ++m_checksumErrors;
            note(c->id, QStringLiteral("bad checksum, receive buffer dropped"));
            break;
        }
        handleFrame(c, frame);
        // The handler may have closed the connection.
        if (c->closing)
            break;
    }
}

void CmdLinkServer::handleFrame(Connection *c, const SimFrame::Frame &frame)
{
    if (c != m_active || c->closing)
        return;
    if (!c->loggedIn) {
        if (frame.type == SimFrame::Login)
            handleLogin(c, frame);
        else
            note(c->id, QStringLiteral("type %1 before log-in ignored").arg(frame.type));
        return;
    }

    switch (frame.type) {
    case SimFrame::Login:
        note(c->id, QStringLiteral("repeated log-in ignored"));
        break;
    case SimFrame::Ptt: {
        ++m_pttFrames;
        const bool want = frame.value != 0;
        if (want != m_ptt) {
            m_ptt = want;
            note(c->id, QStringLiteral("ptt %1").arg(m_ptt ? 1 : 0));
            if (!m_silent)
                sendFrame(SimFrame::Ptt, 0, QByteArray(1, m_ptt ? '\1' : '\0'));
        }
        break;
    }
    case SimFrame::Audio:
    case SimFrame::SerialCat:
    case SimFrame::SerialFsk:
    case SimFrame::SerialRs485:
        break;
    default:
        refuse(c, SimFrame::UnknownPacket, QStringLiteral("unknown type %1").arg(frame.type));
        return;
    }
    emit frameReceived(c->id, frame);
}

void CmdLinkServer::handleLogin(Connection *c, const SimFrame::Frame &frame)
{
    QByteArray raw = frame.payload;
    const int nul = raw.indexOf('\0');
    if (nul >= 0)
        raw.truncate(nul);
    else
        note(c->id, QStringLiteral("log-in without terminating zero"));
    const QString given = QString::fromLatin1(raw);
    if (given != m_password && !m_extraPasswords.contains(given)) {
        refuse(c, SimFrame::WrongPassword, QStringLiteral("wrong password \"%1\"").arg(given));
        return;
    }
    c->loggedIn = true;
    m_loginPassword = given;
    note(c->id, QStringLiteral("logged in"));
    if (!m_silent) {
        sendFirmware();
        sendFrame(SimFrame::Ptt, 0, QByteArray(1, m_ptt ? '\1' : '\0'));
    }
    // A failed write may have closed the connection meanwhile.
    if (!c->closing)
        emit clientLoggedIn(c->id);
}

void CmdLinkServer::refuse(Connection *c, quint32 code, const QString &why)
{
    if (c->closing)
        return;
    c->closing = true;
    note(c->id, QStringLiteral("refused (%1): error %2").arg(why).arg(code));
    writeTo(c, SimFrame::build(SimFrame::Errors, code));
    // Graceful close: the error frame is flushed before the FIN.
    c->socket->disconnectFromHost();
}

void CmdLinkServer::onDisconnected(Connection *c)
{
    if (!m_connections.contains(c))
        return;
    note(c->id, QStringLiteral("closed"));
    m_connections.removeOne(c);
    if (m_active == c) {
        m_active = nullptr;
        m_ptt = false;
    }
    c->closing = true;
    c->socket->disconnect(this);
    c->socket->deleteLater();
    if (m_closed.isEmpty())
        QTimer::singleShot(0, this, &CmdLinkServer::purgeClosed);
    m_closed.append(c);
    emit clientGone(c->id);
}

void CmdLinkServer::writeTo(Connection *c, const QByteArray &bytes)
{
    if (c->socket->state() != QAbstractSocket::ConnectedState)
        return;
    c->socket->write(bytes);
    c->socket->flush();
    m_lastTx = m_clock.elapsed();
}

bool CmdLinkServer::sendFrame(quint8 type, quint32 value, const QByteArray &payload)
{
    return sendRaw(SimFrame::build(type, value, payload));
}

bool CmdLinkServer::sendRaw(const QByteArray &bytes)
{
    if (!m_active || m_active->socket->state() != QAbstractSocket::ConnectedState)
        return false;
    writeTo(m_active, bytes);
    return true;
}

bool CmdLinkServer::sendError(quint32 code)
{
    if (!m_active)
        return false;
    note(m_active->id, QStringLiteral("error %1 sent").arg(code));
    return sendFrame(SimFrame::Errors, code);
}

bool CmdLinkServer::sendFirmware()
{
    if (!isLoggedIn())
        return false;
    const QByteArray payload = SimFrame::u32le(m_firmware.ver) + SimFrame::u32le(m_firmware.subver)
        + SimFrame::u32le(m_firmware.pointver);
    return sendFrame(SimFrame::FwVersion, 0, payload);
}

bool CmdLinkServer::dropClient(bool abort)
{
    if (!m_active)
        return false;
    Connection *c = m_active;
    note(c->id, abort ? QStringLiteral("drop (reset)") : QStringLiteral("drop"));
    c->closing = true;
    if (abort) {
        c->socket->abort();
        // abort() reports disconnected() only from the connected state.
        onDisconnected(c);
    } else {
        c->socket->disconnectFromHost();
    }
    return true;
}

void CmdLinkServer::clearRecords()
{
    m_records.clear();
    m_events.clear();
}

void CmdLinkServer::heartbeat()
{
    // The box reports its transmit state regularly; the client counts on
    // hearing from it (it drops a silent link).
    if (m_silent || !isLoggedIn())
        return;
    sendFrame(SimFrame::Ptt, 0, QByteArray(1, m_ptt ? '\1' : '\0'));
}

void CmdLinkServer::checkTimeouts()
{
    if (m_silent || !m_active || m_active->closing)
        return;
    Connection *c = m_active;
    const qint64 now = m_clock.elapsed();
    if (!c->loggedIn && m_loginTimeout > 0 && now - c->opened > m_loginTimeout) {
        refuse(c, SimFrame::Timeout, QStringLiteral("no log-in"));
    } else if (c->loggedIn && m_idleTimeout > 0 && now - c->lastRx > m_idleTimeout) {
        refuse(c, SimFrame::Timeout, QStringLiteral("client silent"));
    }
}
