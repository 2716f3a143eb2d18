#include "client/ports/cwthread.h"

#include "client/ports/pttcwserial.h"

#include <QMetaMethod>

namespace morvex {

CwThread::CwThread(QObject *parent)
    : QThread(parent)
{
}

CwThread::~CwThread()
{
    stopKeying();
}

void CwThread::setDestination(const QHostAddress &address, int port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_address = address;
    m_port = port;
}

void CwThread::startKeying(VSerial *device, WinKey *winKey)
{
    stopKeying();
    m_device = device;
    m_winKey = winKey;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_started = false;
    }
    start(QThread::HighPriority);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_started)
                break;
        }
        QThread::msleep(1);
    }
}

void CwThread::stopKeying()
{
    if (!isRunning())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = false;
    }
    quit();
    wait();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_finished)
                break;
        }
        QThread::msleep(1);
    }
}

bool CwThread::takeCwActivity()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sampler && m_sampler->takeCwActivity();
}

bool CwThread::hasSampler()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sampler != nullptr;
}

bool CwThread::samplerIdle()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sampler && m_sampler->isIdle();
}

void CwThread::setPttState(bool state)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pttState = state;
    }
    emit pttStateChanged(state);
}

void CwThread::setPttSendState(bool state)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sendState = state;
    }
    emit pttSendStateChange(state);
}

void CwThread::setTxTimeout(int ms)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_txTimeoutMs = ms;
    }
    emit txTimeoutChanged(ms);
}

void CwThread::run()
{
    auto *sampler = new PttCwSerial;
    connect(sampler, &PttCwSerial::changedRTS, this, &CwThread::changedRTS);
    // Every record would otherwise hop to the GUI thread, where this object
    // lives, and wake it 30 times a second for nobody.
    if (isSignalConnected(QMetaMethod::fromSignal(&CwThread::packetFilled)))
        connect(sampler, &PttCwSerial::packetFilled, this, &CwThread::packetFilled);
    connect(this, &CwThread::pttStateChanged, sampler, &PttCwSerial::setPttState);
    connect(this, &CwThread::pttSendStateChange, sampler, &PttCwSerial::setSendState);
    connect(this, &CwThread::txTimeoutChanged, sampler, &PttCwSerial::setTxTimeout);
    connect(sampler, &PttCwSerial::pttTimedOut, this, &CwThread::pttTimedOut);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sampler->setDestination(m_address, quint16(m_port));
        sampler->setSendState(m_sendState);
        sampler->setPttState(m_pttState);
        sampler->setTxTimeout(m_txTimeoutMs);
    }
    sampler->startSampling(m_device, m_winKey);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sampler = sampler;
        m_started = true;
    }
    exec();
    sampler->stopSampling();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sampler = nullptr;
    }
    delete sampler;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
}

} // namespace morvex
