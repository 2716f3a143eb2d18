#pragma once

#include <QObject>
#include <QVector>

#include <atomic>

class QTimer;

namespace morvex {

// Counts received, lost and late datagrams of one receive stream, and the
// datagrams from senders other than the box that were dropped, and publishes
// them every five seconds. Counters are atomics: the report runs in the
// streaming thread while a playback callback may be counting.
class RtpStatistics : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtpStatistics)

public:
    static constexpr int kReportIntervalMs = 5000;

    // New counters go at the end: readers index the first ones.
    enum Index { Received = 0, Lost, Late, TotalReceived, TotalLost, TotalLate, TotalForeign, Count };

    explicit RtpStatistics(QObject *parent = nullptr);

    void addReceived(quint32 n);
    void addLost(quint32 n);
    // A datagram counted lost arrived after all; counts stop at zero.
    void recoverLost(quint32 n);
    void addLate(quint32 n);
    void addForeign(quint32 n);

    QVector<quint32> values() const;

signals:
    void statistics(QVector<quint32> stats);

public slots:
    void reset();
    void showStatistics();

private:
    std::atomic<quint32> m_received { 0 };
    std::atomic<quint32> m_lost { 0 };
    std::atomic<quint32> m_late { 0 };
    std::atomic<quint32> m_totalReceived { 0 };
    std::atomic<quint32> m_totalLost { 0 };
    std::atomic<quint32> m_totalLate { 0 };
    std::atomic<quint32> m_totalForeign { 0 };
    QTimer *m_timer = nullptr;
};

} // namespace morvex
