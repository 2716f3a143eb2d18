#include "client/rigctl/rigserver.h"

#include <QDebug>
#include <QTcpSocket>

#include <cerrno>
#include <sys/socket.h>

namespace morvex {

namespace {
// Bytes taken from a socket per read: with the socket's own limit, a flood
// waits in the kernel instead of in our memory.
constexpr qint64 kReadChunk = 4096;

QString radioName(int model)
{
    if (model <= 0)
        return QStringLiteral("none");
    const QString name = HamlibRig::modelName(model);
    // Without Hamlib there is no name, only the number.
    return name.isEmpty() ? QStringLiteral("model %1").arg(model) : name;
}
} // namespace

RigServer::RigServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &RigServer::newConnections);
}

RigServer::~RigServer()
{
    stopServing();
    // Ending: every radio is closed properly before we go.
    retireWorker(true);
    for (const QPointer<QThread> &t : qAsConst(m_retired)) {
        if (t) {
            t->wait();
            delete t;
        }
    }
}

void RigServer::setPttControl(PttSetter setter, PttGetter getter)
{
    m_setPtt = std::move(setter);
    m_getPtt = std::move(getter);
}

bool RigServer::start(const Config &config)
{
    stop();
    m_config = config;
    if (!config.enabled)
        return true;
    const QHostAddress address
        = config.remote ? QHostAddress(QHostAddress::Any) : QHostAddress(QHostAddress::LocalHost);
    if (!m_server.listen(address, config.port)) {
        qWarning().noquote() << QStringLiteral("Rig control: cannot listen on %1:%2: %3")
                                    .arg(address.toString())
                                    .arg(config.port)
                                    .arg(m_server.errorString());
        return false;
    }
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("rigctl"));
    m_rig = new HamlibRig;
    m_rig->moveToThread(m_thread);
    connect(m_rig, &HamlibRig::done, this, &RigServer::rigDone);
    m_thread->start();
    const HamlibRig::Config rigConfig = config.rig;
    QMetaObject::invokeMethod(m_rig, [rig = m_rig, rigConfig] { rig->configure(rigConfig); });
    qDebug().noquote() << QStringLiteral("Rig control: listening on %1:%2, radio %3, PTT by %4")
                              .arg(address.toString())
                              .arg(m_server.serverPort())
                              .arg(radioName(config.rig.model))
                              .arg(
                                  config.rig.pttByCat ? QStringLiteral("CAT") : QStringLiteral("the Brelko"));
    return true;
}

void RigServer::stop()
{
    stopServing();
    retireWorker(false);
}

void RigServer::stopServing()
{
    m_server.close();
    const QList<QTcpSocket *> sockets = m_clients.keys();
    for (QTcpSocket *s : sockets)
        dropClient(s);
    m_tickets.clear();
}

void RigServer::retireWorker(bool wait)
{
    if (!m_rig)
        return;
    disconnect(m_rig, nullptr, this, nullptr);
    HamlibRig *rig = m_rig;
    QThread *thread = m_thread;
    m_rig = nullptr;
    m_thread = nullptr;
    // Closed in its own thread, after what was already asked of it; the
    // loop ends only then (a quit from here could leave the deletion unrun).
    QMetaObject::invokeMethod(rig, [rig, thread] {
        delete rig;
        thread->quit();
    });
    if (!wait) {
        // A Hamlib call may still wait on a silent radio: an apply does not
        // wait for it, the thread goes when it is done.
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        m_retired.removeAll(nullptr);
        m_retired.append(thread);
        return;
    }
    thread->wait();
    delete thread;
}

void RigServer::newConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (socket->state() != QAbstractSocket::ConnectedState) {
            // Gone before it was taken (reset at once).
            socket->deleteLater();
            continue;
        }
        if (m_clients.size() >= kMaxClients)
            dropDeadClients();
        if (m_clients.size() >= kMaxClients) {
            qWarning().noquote() << "Rig control: too many clients, refusing"
                                 << socket->peerAddress().toString();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setReadBufferSize(kReadChunk);
        m_clients.insert(socket, Client());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readClient(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { readClient(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { dropClient(socket); });
        // A reset connection reports an error and may never say disconnected.
        connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket] { dropClient(socket); });
    }
}

void RigServer::dropDeadClients()
{
    // A burst of connections closed at once may not have been noticed yet:
    // ask the system which are gone before refusing a live one.
    const QList<QTcpSocket *> sockets = m_clients.keys();
    for (QTcpSocket *s : sockets) {
        char c;
        const auto fd = int(s->socketDescriptor());
        const ssize_t n = fd < 0 ? 0 : ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            dropClient(s);
    }
}

void RigServer::readClient(QTcpSocket *socket)
{
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    if (it->reader.pending() < kReadChunk && socket->bytesAvailable() > 0)
        it->reader.append(socket->read(kReadChunk - it->reader.pending()));
    process(socket);
}

void RigServer::process(QTcpSocket *socket)
{
    for (;;) {
        auto it = m_clients.find(socket);
        if (it == m_clients.end())
            return;
        Client &client = *it;
        if (client.pending || client.quitting || socket->bytesToWrite() > kMaxUnsent)
            return;
        QByteArray line;
        const RigLineReader::Kind kind = client.reader.next(&line);
        if (kind == RigLineReader::Kind::None) {
            // Room again: take what waits in the socket.
            if (socket->bytesAvailable() > 0 && client.reader.pending() < kReadChunk) {
                client.reader.append(socket->read(kReadChunk - client.reader.pending()));
                continue;
            }
            return;
        }
        RigCommand cmd;
        if (kind == RigLineReader::Kind::Overlong) {
            cmd.op = RigCommand::Invalid;
            cmd.error = RigProtocol::EInval;
        } else {
            cmd = RigProtocol::parse(line);
        }
        if (cmd.op == RigCommand::ChkVfo)
            client.checkedVfo = true;
        cmd.newClient = client.checkedVfo;
        if (!handle(socket, client, cmd))
            return;
    }
}

bool RigServer::handle(QTcpSocket *socket, Client &client, const RigCommand &cmd)
{
    RigResult result;
    const bool localPtt = !m_config.rig.pttByCat;
    switch (cmd.op) {
    case RigCommand::Empty:
        return true;
    case RigCommand::Invalid:
        break;
    case RigCommand::Quit:
        client.quitting = true;
        socket->write(RigProtocol::answer(cmd, result));
        socket->disconnectFromHost();
        return false;
    case RigCommand::SetPtt:
        if (localPtt) {
            const bool on = cmd.args.value(0).toInt() != 0;
            result.status = m_setPtt ? m_setPtt(on) : RigProtocol::ENavail;
            if (result.status == RigProtocol::Ok)
                m_pttHolder = on ? socket : nullptr;
            break;
        }
        [[fallthrough]];
    default:
        if (cmd.op == RigCommand::GetPtt && localPtt) {
            const bool on = m_getPtt && m_getPtt();
            result.values.append({ QStringLiteral("PTT"), on ? QStringLiteral("1") : QStringLiteral("0") });
            break;
        }
        if (!m_rig) {
            result.status = RigProtocol::ENavail;
            break;
        }
        if (cmd.op == RigCommand::SetPtt)
            m_pttHolder = cmd.args.value(0).toInt() != 0 ? socket : nullptr;
        client.pending = m_nextTicket++;
        client.pendingCmd = cmd;
        m_tickets.insert(client.pending, socket);
        QMetaObject::invokeMethod(
            m_rig, [rig = m_rig, ticket = client.pending, cmd] { rig->execute(ticket, cmd); });
        return false;
    }
    socket->write(RigProtocol::answer(cmd, result));
    return true;
}

void RigServer::rigDone(quint64 ticket, const RigResult &result)
{
    QTcpSocket *socket = m_tickets.take(ticket);
    auto it = m_clients.find(socket);
    if (!socket || it == m_clients.end() || it->pending != ticket)
        return;
    it->pending = 0;
    socket->write(RigProtocol::answer(it->pendingCmd, result));
    process(socket);
}

void RigServer::releasePttOf(QTcpSocket *socket)
{
    if (m_pttHolder != socket)
        return;
    m_pttHolder = nullptr;
    qDebug().noquote() << "Rig control: client left holding PTT, released";
    if (!m_config.rig.pttByCat) {
        if (m_setPtt)
            m_setPtt(false);
    } else if (m_rig) {
        RigCommand off = RigProtocol::parse("T 0");
        // Ticket 0: nobody waits for the answer.
        QMetaObject::invokeMethod(m_rig, [rig = m_rig, off] { rig->execute(0, off); });
    }
}

void RigServer::dropClient(QTcpSocket *socket)
{
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    if (it->pending)
        m_tickets.remove(it->pending);
    m_clients.erase(it);
    releasePttOf(socket);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

} // namespace morvex
