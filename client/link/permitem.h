#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace morvex {

// Work and pause countdown of one Brelko (address and password).
class PermItem final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PermItem)

public:
    static constexpr int kTickMs = 60000;

    explicit PermItem(QObject *parent = nullptr);

    void setAddrPass(const QString &address, const QString &password);
    QString address() const { return m_address; }
    QString password() const { return m_password; }
    void setTimers(quint32 work, quint32 pause);
    bool isWorkTimer() const { return m_working; }
    bool isCounting() const { return m_tick.isActive(); }
    // Time to the next minute of the countdown (-1: not counting).
    int msToNextTick() const { return m_tick.isActive() ? m_tick.remainingTime() : -1; }
    bool isInterrupted() const { return m_interrupted; }
    quint32 workLeft() const { return m_workLeft; }
    quint32 pauseLeft() const { return m_pauseLeft; }

    void start();
    void stop();
    void clear();

    // "2h : 15min" for 135 minutes.
    static QString counterText(quint32 minutes);

signals:
    void completedWorkTimer();
    void completedPauseTimer();
    void changedCounter(QString text);
    void changedTimerName(QString name);

public slots:
    void timeout();

private:
    void enterPause();

    QTimer m_tick;
    quint32 m_workTime = 0;
    quint32 m_pauseTime = 0;
    quint32 m_workLeft = 0;
    quint32 m_pauseLeft = 0;
    bool m_working = true;
    QString m_address;
    QString m_password;
    bool m_interrupted = false;
};

} // namespace morvex
