#include "client/Rtp/abstractrtp.h"

#include <QDebug>
#include <QHostAddress>
#include <QUdpSocket>

#include <mutex>

#include <sys/socket.h>

namespace morvex {

namespace {
std::mutex g_socketMutex;
QUdpSocket *g_socket = nullptr;
int g_instances = 0;
quint16 g_port = 0;

void setBufferSizes(QUdpSocket *socket)
{
    const int fd = int(socket->socketDescriptor());
    const int size = AbstractRtp::kSocketBufferSize;
    if (fd < 0)
        return;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0)
        qWarning() << "AbstractRtp::AbstractRtp(); setsockopt SO_RCVBUF failed";
    if (::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) != 0)
        qWarning() << "AbstractRtp::AbstractRtp(); setsockopt SO_SNDBUF failed";
}
} // namespace

AbstractRtp::AbstractRtp(QObject *parent)
    : QObject(parent)
{
    std::lock_guard<std::mutex> lock(g_socketMutex);
    if (!g_socket) {
        // Created in the thread of the first instance, which is the
        // streaming thread; its notifications stay there.
        g_socket = new QUdpSocket;
        if (!g_socket->bind(QHostAddress(QHostAddress::Any), quint16(0)))
            qWarning() << "AbstractRtp::AbstractRtp(); bind failed:" << g_socket->errorString();
        else
            setBufferSizes(g_socket);
        g_port = g_socket->localPort();
    }
    ++g_instances;
    m_socket = g_socket;
}

AbstractRtp::~AbstractRtp()
{
    std::lock_guard<std::mutex> lock(g_socketMutex);
    if (--g_instances == 0) {
        delete g_socket;
        g_socket = nullptr;
        g_port = 0;
    }
}

QUdpSocket *AbstractRtp::socket()
{
    std::lock_guard<std::mutex> lock(g_socketMutex);
    return g_socket;
}

quint16 AbstractRtp::localPort()
{
    std::lock_guard<std::mutex> lock(g_socketMutex);
    return g_port;
}

int AbstractRtp::instances()
{
    std::lock_guard<std::mutex> lock(g_socketMutex);
    return g_instances;
}

} // namespace morvex
