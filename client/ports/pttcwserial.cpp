#include "client/ports/pttcwserial.h"

#include "client/ports/vserial.h"
#include "client/ports/winkey.h"
#include "platform/mmtimer.h"
#include "platform/threadpriority.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <mutex>

namespace morvex {

namespace {
std::mutex g_clockMutex;
QElapsedTimer g_clock;
} // namespace

bool KeyingRecord::addSample(bool key, bool ptt)
{
    quint8 &b = bytes[size_t(kSampleOffset + bitCount / 8)];
    b = quint8(b << 2);
    if (key)
        b |= 0x02;
    if (ptt)
        b |= 0x01;
    bitCount += 2;
    return bitCount >= kSamples * 2;
}

void KeyingRecord::stamp(quint32 sequence, qint32 timeMs)
{
    for (int i = 0; i < 4; ++i) {
        bytes[size_t(i)] = quint8(sequence >> (8 * i));
        bytes[size_t(4 + i)] = quint8(quint32(timeMs) >> (8 * i));
    }
}

void KeyingRecord::clear()
{
    bytes.fill(0);
    bitCount = 0;
}

QByteArray KeyingRecord::toByteArray() const
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), kSize);
}

quint32 KeyingRecord::sequenceOf(const QByteArray &record)
{
    if (record.size() < kSize)
        return 0;
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(record.at(i))) << (8 * i);
    return v;
}

qint32 KeyingRecord::timeOf(const QByteArray &record)
{
    if (record.size() < kSize)
        return 0;
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(record.at(4 + i))) << (8 * i);
    return qint32(v);
}

bool KeyingRecord::keyAt(const QByteArray &record, int sample)
{
    if (record.size() < kSize || sample < 0 || sample >= kSamples)
        return false;
    return (quint8(record.at(kSampleOffset + sample / 4)) >> (7 - 2 * (sample % 4))) & 1;
}

bool KeyingRecord::pttAt(const QByteArray &record, int sample)
{
    if (record.size() < kSize || sample < 0 || sample >= kSamples)
        return false;
    return (quint8(record.at(kSampleOffset + sample / 4)) >> (6 - 2 * (sample % 4))) & 1;
}

PttCwSerial::PttCwSerial(QObject *parent)
    : QObject(parent)
    , m_socket(new QUdpSocket(this))
{
    {
        std::lock_guard<std::mutex> lock(g_clockMutex);
        if (!g_clock.isValid())
            g_clock.start();
    }
    // Datagrams leave from this object's thread, never from the timer's.
    connect(this, &PttCwSerial::packetFilled, this, &PttCwSerial::sendPacket, Qt::QueuedConnection);
}

PttCwSerial::~PttCwSerial()
{
    stopSampling();
}

qint32 PttCwSerial::programClock()
{
    std::lock_guard<std::mutex> lock(g_clockMutex);
    if (!g_clock.isValid())
        g_clock.start();
    return qint32(g_clock.elapsed());
}

void PttCwSerial::setDestination(const QHostAddress &address, quint16 port)
{
    m_address = address;
    m_port = port;
}

void PttCwSerial::startSampling(VSerial *device, WinKey *winKey)
{
    m_device = device;
    m_winKey = winKey;
    if (m_timerId.load() == 0) {
        m_lastTick = 0;
        m_quietMs = 0;
        m_wake->idle = false;
        // Run on the emitting thread; the functor keeps the wake line alive.
        const auto wake = [line = m_wake] { line->wake(); };
        if (device)
            connect(device, &VSerial::lineEdge, this, wake, Qt::DirectConnection);
        if (winKey)
            connect(winKey, &WinKey::engineWoken, this, wake, Qt::DirectConnection);
        timeBeginPeriod(1);
        m_timerId = timeSetEvent(
            1, 1, &PttCwSerial::timerProc, quintptr(this), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
        m_wake->timerId = m_timerId.load();
    }
}

void PttCwSerial::stopSampling()
{
    const quint32 id = m_timerId.load();
    if (id != 0) {
        if (m_device)
            disconnect(m_device, &VSerial::lineEdge, this, nullptr);
        if (m_winKey)
            disconnect(m_winKey, &WinKey::engineWoken, this, nullptr);
        m_wake->timerId = 0;
        timeKillEvent(id);
        timeEndPeriod(1);
        m_timerId = 0;
        m_priorityRaised = false;
        sendFinalRecord();
    }
    m_forcedPtt = false;
}

void PttCwSerial::sendFinalRecord()
{
    // The timer is gone, so its state is ours to read. When the line was
    // keyed at the end, the Brelko must not be left transmitting: send the
    // records still queued, then one that says off.
    if (!m_lastSampleOn || thread() != QThread::currentThread())
        return;
    m_lastSampleOn = false;
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    KeyingRecord off; // 64 samples, all off
    off.stamp(m_sequence.load(), programClock());
    sendPacket(off.toByteArray());
    sendPacket(m_previous.toByteArray());
    m_sequence.fetch_add(1);
    m_previous = off;
    m_current.clear();
}

void PttCwSerial::timerProc(quint32, quint32, quintptr user, quintptr, quintptr)
{
    reinterpret_cast<PttCwSerial *>(user)->step();
}

void PttCwSerial::WakeLine::wake()
{
    woken = true;
    const quint32 id = timerId.load();
    if (id != 0 && idle.load())
        timeSetEventPeriod(id, 1);
}

void PttCwSerial::setIdle(bool idle)
{
    const quint32 id = m_timerId.load();
    if (id == 0 || idle == m_wake->idle.load())
        return;
    m_wake->idle = idle;
    timeSetEventPeriod(id, idle ? quint32(kIdlePeriodMs) : 1u);
    // A wake-up that came while we were deciding may have seen us still
    // awake and left the period alone: look again now that idle is public.
    if (idle && m_wake->woken.load()) {
        m_wake->idle = false;
        m_quietMs = 0;
        timeSetEventPeriod(id, 1);
    }
}

void PttCwSerial::step()
{
    if (m_timerId.load() != 0 && !m_priorityRaised)
        m_priorityRaised = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);

    // Milliseconds since the last call: more than one only after an idle
    // period, when nothing changed the lines (an edge would have woken us).
    const quint64 tick = mmTimerTick();
    int elapsed = 1;
    if (m_lastTick != 0 && tick > m_lastTick)
        elapsed = int(std::min<quint64>(tick - m_lastTick, quint64(kIdleAfterMs)));
    if (tick != 0)
        m_lastTick = tick;
    for (int i = 1; i < elapsed; ++i)
        addSample(m_lastKey, m_lastPttSample, elapsed - i);

    const bool linePtt = guardPtt(m_lineGuard, m_device && m_device->readRts() != 0, PttLine, elapsed);
    const bool winKeyPtt = guardPtt(m_winKeyGuard, m_winKey && m_winKey->pttOutput(), WinKeyPtt, elapsed);
    bool ptt = linePtt || winKeyPtt;
    bool key = (m_device && m_device->readDtr() != 0) || (m_winKey && m_winKey->keyOutput());
    if (m_muted.load()) {
        // Not permitted: whatever the lines say, the box hears nothing keyed.
        ptt = false;
        key = false;
    }
    if (key)
        m_cwActivity = true;
    const bool forced = m_forcedPtt.load() && !m_muted.load();
    if (!forced && ptt != m_lastPtt) {
        m_lastPtt = ptt;
        emit changedRTS(ptt);
    }
    m_lastSampleOn = key || ptt || forced;
    addSample(key, ptt || forced, 0);

    const bool woken = m_wake->woken.exchange(false);
    // A stopped WinKey keys nothing; a running one only while its engine is awake.
    const bool winKeyQuiet = !m_winKey || !m_winKey->isRunning() || m_winKey->engineIdle();
    const bool quiet = !m_lastSampleOn && winKeyQuiet;
    m_quietMs = quiet && !woken ? m_quietMs + elapsed : 0;
    setIdle(m_quietMs >= kIdleAfterMs);
}

void PttCwSerial::addSample(bool key, bool ptt, int samplesAfter)
{
    m_lastKey = key;
    m_lastPttSample = ptt;
    if (!m_current.addSample(key, ptt))
        return;
    // Stamped with the time of its last sample, also when filled late.
    m_current.stamp(m_sequence.load(), programClock() - samplesAfter);
    emit packetFilled(m_current.toByteArray());
    emit packetFilled(m_previous.toByteArray());
    m_sequence.fetch_add(1);
    m_previous = m_current;
    m_current.clear();
}

bool PttCwSerial::guardPtt(PttGuard &guard, bool on, PttSource source, int ms)
{
    if (!on) {
        guard = PttGuard {};
        return false;
    }
    if (guard.latched)
        return false;
    const int limit = m_txTimeoutMs.load();
    if (limit > 0 && (guard.onMs += ms) > limit) {
        guard.latched = true;
        emit pttTimedOut(int(source));
        return false;
    }
    return true;
}

void PttCwSerial::sendPacket(QByteArray data)
{
    if (!m_sendEnabled.load()) {
        if (m_drain <= 0)
            return;
        --m_drain;
    }
    m_socket->writeDatagram(data, m_address, m_port);
    m_socket->flush();
}

void PttCwSerial::setPttState(bool state)
{
    m_forcedPtt = state;
    wakeUp();
}

void PttCwSerial::setSendState(bool state)
{
    const bool was = m_sendEnabled.exchange(state);
    // Only a withdrawal mutes: before the first grant nothing goes out anyway.
    if (state)
        m_muted = false;
    else if (was)
        m_muted = true;
    m_drain = was && !state ? kDrainDatagrams : 0;
    wakeUp();
}

void PttCwSerial::setTxTimeout(int ms)
{
    m_txTimeoutMs = qMax(0, ms);
}

} // namespace morvex
