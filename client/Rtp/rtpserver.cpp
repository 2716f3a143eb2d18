#include "rtpserver.h"

#include "rtpfixedjb.h"

#include <QUdpSocket>
#include <QtEndian>

RtpServer::RtpServer(QObject *parent)
    : AbstractRtp(parent)
    , m_output(new RtpFixedJb(this))
    , m_outputVirtual(new RtpFixedJb(this))
{
    m_output->open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    m_outputVirtual->open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    connect(m_output, &RtpFixedJb::statistics, this, &RtpServer::statistics);
    if (m_socket)
        connect(m_socket, &QUdpSocket::readyRead, this, &RtpServer::dataArrived);
}

RtpServer::~RtpServer() = default;

qint32 RtpServer::frameBytes(qint32 sampleRate, qint32 ms)
{
    if (sampleRate <= 0 || ms <= 0)
        return 0;
    // Two interleaved 16-bit channels.
    return qint32(double(ms) / 1000.0 / (1.0 / double(sampleRate)) * 4.0);
}

void RtpServer::setFormat(qint32 sampleRate, qint32 ms)
{
    const qint32 bytes = frameBytes(sampleRate, ms);
    m_output->setFormat(bytes, ms);
    m_outputVirtual->setFormat(bytes, ms);
}

void RtpServer::setBufferedTime(qint32 ms)
{
    m_output->setBuffered(ms);
    m_outputVirtual->setBuffered(ms);
}

void RtpServer::setReceivingState(bool state)
{
    m_receiving = state;
}

RtpServer::Verdict RtpServer::processDatagram(const char *data, qint64 len)
{
    if (!m_receiving)
        return NotReceiving;
    if (!data || len <= kHeaderSize || (uchar(data[0]) & 0xC0) != 0x80)
        return Rejected;
    const quint32 ssrc = qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(data) + 8);
    if (ssrc == 0)
        return NoSource;
    if (ssrc != m_ssrc) {
        // A new stream starts a fresh playout; its first datagram only
        // announces it.
        m_output->reset();
        m_outputVirtual->reset();
        m_ssrc = ssrc;
        return NewSource;
    }
    m_output->writeData(data, len);
    m_outputVirtual->writeData(data, len);
    return Queued;
}

void RtpServer::dataArrived()
{
    while (m_socket->hasPendingDatagrams()) {
        const qint64 size = m_socket->pendingDatagramSize();
        if (size < 0)
            break;
        // A zero-length datagram still has to be taken off the socket.
        m_datagram.resize(int(qMax<qint64>(size, 1)));
        const qint64 got = m_socket->readDatagram(m_datagram.data(), m_datagram.size());
        if (got < 0)
            break;
        processDatagram(m_datagram.constData(), got);
    }
}
