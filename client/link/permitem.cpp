#include "client/link/permitem.h"

namespace morvex {

PermItem::PermItem(QObject *parent)
    : QObject(parent)
{
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &PermItem::timeout);
}

void PermItem::setAddrPass(const QString &address, const QString &password)
{
    m_address = address;
    m_password = password;
}

void PermItem::setTimers(quint32 work, quint32 pause)
{
    m_workTime = work;
    m_pauseTime = pause;
}

QString PermItem::counterText(quint32 minutes)
{
    return QString::number(minutes / 60) + tr("h : ") + QString::number(minutes % 60) + tr("min");
}

void PermItem::start()
{
    if (m_tick.isActive()) {
        if (m_working) {
            emit changedTimerName(tr("Work time:"));
            emit changedCounter(counterText(m_workLeft));
        } else {
            emit changedTimerName(tr("Pause time:"));
            emit changedCounter(counterText(m_pauseLeft));
        }
        return;
    }
    if (m_interrupted)
        emit changedCounter(counterText(m_workLeft));
    emit changedTimerName(tr("Work time:"));
    if (!m_interrupted)
        m_workLeft = m_workTime;
    m_pauseLeft = m_pauseTime;
    m_working = true;
    m_interrupted = false;
    m_tick.start(kTickMs);
    emit changedCounter(counterText(m_workLeft));
}

void PermItem::stop()
{
    if (m_working) {
        m_tick.stop();
        m_interrupted = true;
    } else {
        m_interrupted = false;
    }
}

void PermItem::clear()
{
    stop();
    emit changedTimerName(tr("Work time:"));
    emit changedCounter(QStringLiteral(" "));
    m_working = true;
}

void PermItem::enterPause()
{
    emit changedTimerName(tr("Pause time:"));
    m_working = false;
    m_pauseLeft = m_pauseTime;
    emit completedWorkTimer();
}

void PermItem::timeout()
{
    if (m_workLeft != 0) {
        --m_workLeft;
        emit changedCounter(counterText(m_workLeft));
        if (m_workLeft != 0)
            return;
        enterPause();
    } else if (m_working) {
        // A work time of 0: the first tick goes straight into the pause
        // instead of counting the pause while still marked as working.
        enterPause();
    }

    if (m_pauseLeft != 0) {
        --m_pauseLeft;
        emit changedCounter(counterText(m_pauseLeft));
    }
    if (m_pauseLeft == 0) {
        emit changedTimerName(tr("Work time:"));
        m_working = true;
        m_workLeft = m_workTime;
        m_tick.stop();
        emit completedPauseTimer();
    }
}

} // namespace morvex
