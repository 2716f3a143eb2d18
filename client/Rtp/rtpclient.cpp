#include "client/Rtp/rtpclient.h"

#include "client/Rtp/rtpsendbuffer.h"

#include <QTimer>
#include <QUdpSocket>
#include <QtEndian>

#include <cstdlib>
#include <cstring>

namespace morvex {

namespace {
// Nothing larger fits in one UDP datagram with our header.
constexpr qint32 kMaxPayload = 65507 - RtpClient::kHeaderSize;
} // namespace

RtpClient::RtpClient(QObject *parent)
    : AbstractRtp(parent)
    , m_buffer(new RtpSendBuffer(this))
{
    m_buffer->open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    // The capture callback writes from its own thread. One event stands for
    // every write until sendPacket() takes the audio.
    connect(m_buffer, &RtpSendBuffer::audioPending, this, &RtpClient::sendPacket, Qt::QueuedConnection);
    newIdentity();
    // Created here, so it runs in the thread this sender lives in.
    m_idleTimer = new QTimer(this);
    m_idleTimer->setTimerType(Qt::PreciseTimer);
    // Looks in now and then while audio flows; every packet while silent.
    m_idleTimer->setInterval(int(kIdleMs / 4));
    connect(m_idleTimer, &QTimer::timeout, this, &RtpClient::fillSilence);
    m_clock.start();
    m_lastAudioMs = m_clock.elapsed();
    m_idleTimer->start();
}

RtpClient::~RtpClient() = default;

qint32 RtpClient::payloadBytes(qint32 sampleRate, qint32 ms)
{
    if (sampleRate <= 0 || ms <= 0)
        return 0;
    // One 16-bit channel.
    return qint32(double(ms) / 1000.0 / (1.0 / double(sampleRate)) * 2.0);
}

void RtpClient::setFormat(qint32 sampleRate, qint32 ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_packetMs = ms;
    m_payloadBytes = payloadBytes(sampleRate, ms);
}

void RtpClient::setDestination(const QHostAddress &host, quint16 port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_port = port;
    m_address = host;
}

void RtpClient::setDestination(const QString &host, quint16 port)
{
    setDestination(QHostAddress(host), port);
}

quint32 RtpClient::ssrc() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ssrc;
}

quint16 RtpClient::sequence() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sequence;
}

quint32 RtpClient::timestamp() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timestamp;
}

qint32 RtpClient::payloadBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_payloadBytes;
}

bool RtpClient::isSending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sending;
}

void RtpClient::newIdentity()
{
    const quint32 r = quint32(std::rand());
    m_ssrc = r;
    m_sequence = quint16(r % 65536);
    m_timestamp = r;
}

void RtpClient::sendPacket()
{
    // Before reading: audio written from here on signals again.
    m_buffer->takePending();
    std::lock_guard<std::mutex> lock(m_mutex);
    // Without a usable format there is no datagram size to cut the audio
    // into; what was written is dropped rather than piling up.
    if (m_payloadBytes <= 0 || m_payloadBytes > kMaxPayload) {
        m_buffer->reset();
        return;
    }
    // Bytes short of a whole datagram wait for the next write.
    qint64 count = m_buffer->bytesAvailable() / m_payloadBytes;
    if (count <= 0)
        return;
    if (count > kMaxBacklog) {
        // This thread fell behind: late audio is of no use to the box, and a
        // burst of it would only delay what follows. The oldest goes.
        m_buffer->discard((count - kMaxBacklog) * m_payloadBytes);
        count = kMaxBacklog;
    }

    m_lastAudioMs = m_clock.elapsed();
    if (m_filling) {
        m_filling = false;
        m_idleTimer->setInterval(int(kIdleMs / 4));
    }
    m_work.resize(m_payloadBytes);
    for (qint64 i = 0; i < count; ++i) {
        // Only this thread reads, so the count stays good; a short read
        // still sends silence rather than stale audio.
        const qint64 got = qMax<qint64>(0, m_buffer->readData(m_work.data(), m_payloadBytes));
        std::memset(m_work.data() + got, 0, size_t(m_payloadBytes - got));
        sendDatagram(m_sending);
    }
}

void RtpClient::sendDatagram(bool audio)
{
    m_datagram.resize(kHeaderSize + m_payloadBytes);
    auto *d = reinterpret_cast<uchar *>(m_datagram.data());
    d[0] = 0x80;
    d[1] = 0x00;
    qToBigEndian<quint16>(m_sequence, d + 2);
    qToBigEndian<quint32>(m_timestamp, d + 4);
    qToBigEndian<quint32>(m_ssrc, d + 8);
    qToBigEndian<quint32>(0, d + 12);
    if (audio)
        std::memcpy(d + kHeaderSize, m_work.constData(), size_t(m_payloadBytes));
    else
        std::memset(d + kHeaderSize, 0, size_t(m_payloadBytes));
    m_timestamp += quint32(m_packetMs);
    ++m_sequence;
    // A bad destination text left no address: nothing can go out.
    if (m_socket && !m_address.isNull()) {
        m_socket->writeDatagram(m_datagram, m_address, m_port);
        m_socket->flush();
    }
}

// No capture stream feeds the send buffer (no input device, or it failed to
// open): silent datagrams at the packet rate keep the box sending.
void RtpClient::fillSilence()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 now = m_clock.elapsed();
    if (now - m_lastAudioMs < kIdleMs || m_payloadBytes <= 0 || m_payloadBytes > kMaxPayload
        || m_packetMs <= 0)
        return;
    if (!m_filling) {
        m_filling = true;
        m_fillStartMs = now;
        m_fillSent = 0;
        m_idleTimer->setInterval(m_packetMs);
    }
    // Counted from the start of the silence, so a late timer catches up.
    qint64 due = (now - m_fillStartMs) / m_packetMs + 1 - m_fillSent;
    if (due > kMaxBacklog) {
        m_fillSent += due - kMaxBacklog;
        due = kMaxBacklog;
    }
    for (qint64 i = 0; i < due; ++i)
        sendDatagram(false);
    m_fillSent += qMax<qint64>(0, due);
}

void RtpClient::setSendingState(bool sending)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!sending) {
        // Each return to receive starts a new transmit stream identity.
        newIdentity();
        m_buffer->reset();
    }
    m_sending = sending;
}

} // namespace morvex
