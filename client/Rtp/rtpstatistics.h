#pragma once

#include <QObject>
#include <QVector>

#include <atomic>

class QTimer;

// Counts received, lost and late datagrams of one receive stream and
// publishes them every five seconds. Counters are atomics: the report runs in
// the streaming thread while a playback callback may be counting.
class RtpStatistics : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtpStatistics)

public:
    static constexpr int kReportIntervalMs = 5000;

    enum Index { Received = 0, Lost, Late, TotalReceived, TotalLost, TotalLate, Count };

    explicit RtpStatistics(QObject *parent = nullptr);

    void addReceived(quint32 n);
    void addLost(quint32 n);
    void addLate(quint32 n);

    QVector<quint32> values() const;

signals:
    void statistics(QVector<quint32> stats);

public slots:
    void reset();
    void showStatistics();

private:
    std::atomic<quint32> m_received{0};
    std::atomic<quint32> m_lost{0};
    std::atomic<quint32> m_late{0};
    std::atomic<quint32> m_totalReceived{0};
    std::atomic<quint32> m_totalLost{0};
    std::atomic<quint32> m_totalLate{0};
    QTimer *m_timer = nullptr;
};
