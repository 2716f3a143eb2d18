#include "client/Rtp/rtpserver.h"

#include "client/Rtp/rtpfixedjb.h"
#include "client/Rtp/rtpstatistics.h"

#include <QDebug>
#include <QUdpSocket>
#include <QtEndian>

namespace morvex {

namespace {
QString hostText(const QHostAddress &a)
{
    if (a.isNull())
        return QStringLiteral("(none)");
    bool v4 = false;
    const quint32 ip = a.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip).toString() : a.toString();
}
} // namespace

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

void RtpServer::setDestination(const QHostAddress &host, quint16 port)
{
    m_box = host;
    m_boxPort = port;
    m_foreignLogged = false;
}

bool RtpServer::isFromBox(const QHostAddress &from, quint16 fromPort) const
{
    // The socket is bound to Any, so IPv4 senders arrive as mapped IPv6.
    return !m_box.isNull() && fromPort == m_boxPort
        && from.isEqual(m_box, QHostAddress::ConvertV4MappedToIPv4);
}

RtpServer::Verdict RtpServer::processDatagram(
    const char *data, qint64 len, const QHostAddress &from, quint16 fromPort)
{
    // Checked before anything else: a stranger's new source must not reset
    // the playout, whatever the receive state.
    if (!isFromBox(from, fromPort)) {
        m_output->statisticsCounter()->addForeign(1);
        if (!m_foreignLogged) {
            m_foreignLogged = true;
            qWarning().noquote() << "RtpServer::processDatagram(); dropping audio from"
                                 << QStringLiteral("%1:%2,").arg(hostText(from)).arg(fromPort)
                                 << "not the box at"
                                 << QStringLiteral("%1:%2").arg(hostText(m_box)).arg(m_boxPort);
        }
        return Foreign;
    }
    return processDatagram(data, len);
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
        quint16 fromPort = 0;
        const qint64 got = m_socket->readDatagram(m_datagram.data(), m_datagram.size(), &m_from, &fromPort);
        if (got < 0)
            break;
        processDatagram(m_datagram.constData(), got, m_from, fromPort);
    }
}

} // namespace morvex
