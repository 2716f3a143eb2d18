#include "client/Rtp/rtpstatistics.h"

#include <QMetaType>
#include <QTimer>

namespace morvex {

namespace {
void add(std::atomic<quint32> &counter, std::atomic<quint32> &total, quint32 n)
{
    counter.fetch_add(n, std::memory_order_relaxed);
    total.fetch_add(n, std::memory_order_relaxed);
}

void subtract(std::atomic<quint32> &counter, quint32 n)
{
    quint32 v = counter.load(std::memory_order_relaxed);
    while (!counter.compare_exchange_weak(v, v > n ? v - n : 0, std::memory_order_relaxed))
        ;
}
} // namespace

RtpStatistics::RtpStatistics(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    // The vector crosses threads on its way to the console.
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");
    connect(m_timer, &QTimer::timeout, this, &RtpStatistics::showStatistics);
    m_timer->start(kReportIntervalMs);
}

void RtpStatistics::addReceived(quint32 n)
{
    add(m_received, m_totalReceived, n);
}

void RtpStatistics::addLost(quint32 n)
{
    add(m_lost, m_totalLost, n);
}

void RtpStatistics::recoverLost(quint32 n)
{
    subtract(m_lost, n);
    subtract(m_totalLost, n);
}

void RtpStatistics::addLate(quint32 n)
{
    add(m_late, m_totalLate, n);
}

void RtpStatistics::addForeign(quint32 n)
{
    // A total only: the buffers' resets do not concern other senders.
    m_totalForeign.fetch_add(n, std::memory_order_relaxed);
}

QVector<quint32> RtpStatistics::values() const
{
    return { m_received.load(std::memory_order_relaxed), m_lost.load(std::memory_order_relaxed),
        m_late.load(std::memory_order_relaxed), m_totalReceived.load(std::memory_order_relaxed),
        m_totalLost.load(std::memory_order_relaxed), m_totalLate.load(std::memory_order_relaxed),
        m_totalForeign.load(std::memory_order_relaxed) };
}

void RtpStatistics::reset()
{
    m_received.store(0, std::memory_order_relaxed);
    m_lost.store(0, std::memory_order_relaxed);
    m_late.store(0, std::memory_order_relaxed);
}

void RtpStatistics::showStatistics()
{
    emit statistics(values());
}

} // namespace morvex
