#include "client/Rtp/rtpsendbuffer.h"

#include <cstring>

namespace morvex {

RtpSendBuffer::RtpSendBuffer(QObject *parent)
    : QIODevice(parent)
    // Zeroed now, so the memory is resident from the start and stays flat.
    , m_ring(size_t(kMaxFill), '\0')
{
}

bool RtpSendBuffer::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_head = 0;
    m_fill = 0;
    return true;
}

qint64 RtpSendBuffer::bytesAvailable() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fill;
}

qint64 RtpSendBuffer::droppedBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

qint64 RtpSendBuffer::discard(qint64 bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 n = qBound<qint64>(0, bytes, m_fill);
    m_head = (m_head + n) % kMaxFill;
    m_fill -= n;
    m_dropped += n;
    return n;
}

void RtpSendBuffer::takePending()
{
    // acq_rel pairs with the writer's exchange: what a write queued before
    // it saw the flag still set is visible to the read that follows.
    m_pending.exchange(false, std::memory_order_acq_rel);
}

qint64 RtpSendBuffer::readData(char *data, qint64 maxlen)
{
    if (!data || maxlen <= 0)
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 n = qMin(maxlen, m_fill);
    const qint64 first = qMin(n, kMaxFill - m_head);
    std::memcpy(data, m_ring.data() + m_head, size_t(first));
    std::memcpy(data + first, m_ring.data(), size_t(n - first));
    m_head = (m_head + n) % kMaxFill;
    m_fill -= n;
    return n;
}

qint64 RtpSendBuffer::writeData(const char *data, qint64 len)
{
    if (!data || len <= 0)
        return 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        qint64 n = len;
        // More than the ring holds: only its newest part is kept.
        if (n > kMaxFill) {
            m_dropped += n - kMaxFill;
            data += n - kMaxFill;
            n = kMaxFill;
        }
        const qint64 over = m_fill + n - kMaxFill;
        if (over > 0) {
            m_head = (m_head + over) % kMaxFill;
            m_fill -= over;
            m_dropped += over;
        }
        char *ring = m_ring.data();
        const qint64 tail = (m_head + m_fill) % kMaxFill;
        const qint64 first = qMin(n, kMaxFill - tail);
        std::memcpy(ring + tail, data, size_t(first));
        std::memcpy(ring, data + first, size_t(n - first));
        m_fill += n;
    }
    if (!m_pending.exchange(true, std::memory_order_acq_rel))
        emit audioPending();
    return len;
}

} // namespace morvex
