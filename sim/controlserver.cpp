#include "sim/controlserver.h"

#include <QDebug>
#include <QRegularExpression>
#include <QTcpSocket>

namespace {
constexpr int kMaxLine = 1 << 20;
}

ControlServer::ControlServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ControlServer::onNewConnection);
    addCommand(QStringLiteral("help"), QStringLiteral("help"), [this](const QStringList &) {
        QStringList lines;
        for (const Command &c : qAsConst(m_commands))
            lines << c.usage;
        return Reply::done(lines);
    });
    addCommand(QStringLiteral("quit"), QStringLiteral("quit"), [this](const QStringList &) {
        emit quitRequested();
        return Reply::done();
    });
}

bool ControlServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_server.listen(address, port)) {
        if (error)
            *error = m_server.errorString();
        return false;
    }
    return true;
}

void ControlServer::addCommand(const QString &name, const QString &usage, Handler handler)
{
    m_commands.insert(name, Command { usage, std::move(handler) });
}

ControlServer::Reply ControlServer::execute(const QString &line)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList words = line.trimmed().split(blanks, Qt::SkipEmptyParts);
    if (words.isEmpty())
        return Reply::fail(QStringLiteral("empty command"));
    const QString name = words.takeFirst().toLower();
    auto it = m_commands.constFind(name);
    if (it == m_commands.constEnd())
        return Reply::fail(QStringLiteral("unknown command %1").arg(name));
    return it->handler(words);
}

void ControlServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void ControlServer::onReadyRead(QTcpSocket *socket)
{
    while (socket->canReadLine()) {
        const QString line = QString::fromUtf8(socket->readLine()).trimmed();
        if (line.isEmpty())
            continue;
        qInfo().noquote() << "control:" << line;
        const Reply r = execute(line);
        QByteArray out;
        for (const QString &l : r.lines)
            out += l.toUtf8() + '\n';
        out += r.ok ? QByteArrayLiteral("OK\n") : ("ERR " + r.error.toUtf8() + '\n');
        socket->write(out);
        socket->flush();
    }
    // A line without an end that keeps growing is not a command.
    if (socket->bytesAvailable() > kMaxLine) {
        socket->write("ERR line too long\n");
        socket->disconnectFromHost();
    }
}
