#include "rtpsendbuffer.h"

#include <cstring>

RtpSendBuffer::RtpSendBuffer(QObject *parent)
    : QIODevice(parent)
{
}

bool RtpSendBuffer::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fifo.clear();
    return true;
}

qint64 RtpSendBuffer::bytesAvailable() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fifo.size();
}

qint64 RtpSendBuffer::readData(char *data, qint64 maxlen)
{
    if (!data || maxlen <= 0)
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int n = int(qMin<qint64>(maxlen, m_fifo.size()));
    std::memcpy(data, m_fifo.constData(), size_t(n));
    m_fifo.remove(0, n);
    return n;
}

qint64 RtpSendBuffer::writeData(const char *data, qint64 len)
{
    if (!data || len <= 0)
        return 0;
    if (len > kMaxFill)
        return 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_fifo.size() + len > kMaxFill)
            m_fifo.remove(0, int(m_fifo.size() + len - kMaxFill));
        m_fifo.append(data, int(len));
    }
    // Emitted in the writer's thread; the sender gets it queued.
    emit bytesWritten(len);
    return len;
}
