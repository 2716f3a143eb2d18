#include "client/Rtp/rtpthread.h"

#include "client/Rtp/abstractrtp.h"
#include "client/Rtp/rtpclient.h"
#include "client/Rtp/rtpfixedjb.h"
#include "client/Rtp/rtpsendbuffer.h"
#include "client/Rtp/rtpserver.h"
#include "platform/threadpriority.h"

#include <QDebug>
#include <QMetaType>

namespace morvex {

RtpThread::RtpThread(QObject *parent)
    : QThread(parent)
{
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");
    qRegisterMetaType<qint32>("qint32");
    qRegisterMetaType<QHostAddress>("QHostAddress");
}

RtpThread::~RtpThread()
{
    stop();
}

void RtpThread::startStream(const QString &host, quint16 port, qint32 sampleRate)
{
    startStream(QHostAddress(host), port, sampleRate);
}

void RtpThread::startStream(const QHostAddress &host, quint16 port, qint32 sampleRate)
{
    stop();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_host = host;
        m_port = port;
        m_sampleRate = sampleRate;
        m_started = false;
    }
    start(QThread::TimeCriticalPriority);
    while (!isStarted()) {
        // run() ended before it could start: do not wait for ever.
        if (isFinished())
            break;
        QThread::msleep(1);
    }
}

void RtpThread::setDestination(const QHostAddress &host, quint16 port)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_host = host;
        m_port = port;
    }
    // Queued to the streaming thread's objects; a stream starting right now
    // reads the values above instead.
    emit changeDestination(host, port);
}

bool RtpThread::isStarted() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_started;
}

bool RtpThread::stop()
{
    if (!isRunning())
        return false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_finished = false;
    }
    quit();
    wait();
    for (;;) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_finished)
            break;
        lock.unlock();
        QThread::msleep(1);
    }
    return true;
}

void RtpThread::setTransmitMode(bool transmit)
{
    emit changeSendingMode(transmit);
    emit changeReceivingMode(!transmit);
}

void RtpThread::setBufferedTime(qint32 ms)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_bufferedMs = ms;
    }
    if (isRunning())
        emit changeBufferedTime(ms);
}

qint32 RtpThread::bufferedTime() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_bufferedMs;
}

QIODevice *RtpThread::inputBuffer()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!isRunning() || !m_started || !m_client) {
        qWarning() << "RtpThread::inputBuffer(); Thread doesn't start";
        return nullptr;
    }
    return m_client->sendBuffer();
}

QIODevice *RtpThread::outputBuffer()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!isRunning() || !m_started || !m_server) {
        qWarning() << "RtpThread::outputBuffer(); Thread doesn't start";
        return nullptr;
    }
    return m_server->outputBuffer();
}

QIODevice *RtpThread::outputVirtualBuffer()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!isRunning() || !m_started || !m_server) {
        qWarning() << "RtpThread::outputVirtualBuffer(); Thread doesn't start";
        return nullptr;
    }
    return m_server->outputVirtualBuffer();
}

quint16 RtpThread::localPort() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_started ? AbstractRtp::localPort() : 0;
}

void RtpThread::run()
{
    // Qt's priority levels mean nothing to the normal scheduler here.
    if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL))
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);

    auto *server = new RtpServer;
    auto *client = new RtpClient;
    connect(
        this, &RtpThread::changeReceivingMode, server, &RtpServer::setReceivingState, Qt::QueuedConnection);
    connect(this, &RtpThread::changeSendingMode, client, &RtpClient::setSendingState, Qt::QueuedConnection);
    connect(this, &RtpThread::changeBufferedTime, server, &RtpServer::setBufferedTime);
    connect(this, &RtpThread::changeDestination, server, &RtpServer::setDestination, Qt::QueuedConnection);
    connect(this, &RtpThread::changeDestination, client,
        qOverload<const QHostAddress &, quint16>(&RtpClient::setDestination), Qt::QueuedConnection);
    connect(server, &RtpServer::statistics, this, &RtpThread::statistics);

    // Read after the connections: a destination set from now on also
    // arrives through them, so none is lost in between.
    QHostAddress host;
    quint16 port = 0;
    qint32 rate = 0;
    qint32 buffered = 0;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        host = m_host;
        port = m_port;
        rate = m_sampleRate;
        buffered = m_bufferedMs;
    }

    server->setFormat(rate, kPacketMs);
    server->setBufferedTime(buffered);
    client->setFormat(rate, kPacketMs);
    client->setDestination(host, port);
    server->setDestination(host, port);

    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_server = server;
        m_client = client;
        m_started = true;
    }

    exec();

    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_server = nullptr;
        m_client = nullptr;
        m_started = false;
    }
    delete server;
    delete client;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_finished = true;
}

} // namespace morvex
