#include "client/ports/winkey.h"

#include "platform/mmtimer.h"
#include "platform/threadpriority.h"

#include <QDebug>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace morvex {

using D = WinKeyDecoder;

WinKey::WinKey(QObject *parent)
    : QObject(parent)
{
}

WinKey::~WinKey()
{
    stop();
}

void WinKey::setPort(QIODevice *port)
{
    if (!port)
        return;
    if (m_port)
        disconnect(m_port, &QIODevice::readyRead, this, &WinKey::dataArrived);
    m_port = port;
    connect(port, &QIODevice::readyRead, this, &WinKey::dataArrived);
}

void WinKey::start()
{
    if (m_timerId.load() == 0) {
        timeBeginPeriod(1);
        m_timerId
            = timeSetEvent(1, 1, &WinKey::timerProc, quintptr(this), TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    clearSchedule();
}

void WinKey::stop()
{
    const quint32 id = m_timerId.load();
    if (id != 0) {
        // Not under m_mutex: the last engine step may still want it.
        timeKillEvent(id);
        timeEndPeriod(1);
        m_timerId = 0;
        m_priorityRaised = false;
    }
    m_engineIdle = false;
    // A stop in the middle of a character must not leave the key or PTT held.
    std::unique_lock<std::mutex> lock(m_mutex);
    clearSchedule();
    m_keyOut = false;
    m_pttOut = false;
    m_pttEngaged = false;
    m_busy = false;
    m_firstElement = true;
}

void WinKey::clearSchedule()
{
    m_leadIn = 0;
    m_marks.fill(0);
    m_spaces.fill(0);
    m_tail = 0;
    m_elementCount = 0;
}

void WinKey::timerProc(quint32, quint32, quintptr user, quintptr, quintptr)
{
    reinterpret_cast<WinKey *>(user)->sendChar();
}

WinKey::Params WinKey::parameters() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_host.params;
}

void WinKey::setParameters(const QByteArray &block)
{
    if (block.size() != kParamSize) {
        qCWarning(lcWinKey) << "Wrong settings size" << block.size() << kParamSize;
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    std::memcpy(m_host.params.data(), block.constData(), size_t(kParamSize));
}

int WinKey::bufferedCount() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_host.buffer.size();
}

quint8 WinKey::statusByte() const
{
    return D::statusByte(m_busy.load(), bufferedCount());
}

QByteArray WinKey::toBlock(const Params &params)
{
    return QByteArray(reinterpret_cast<const char *>(params.data()), kParamSize);
}

QString WinKey::blockToText(const QByteArray &block)
{
    QString text;
    text.reserve(block.size() * 3);
    static const char kHex[] = "0123456789abcdef";
    for (char c : block) {
        const quint8 b = quint8(c);
        text.append(QLatin1Char(kHex[b >> 4]));
        text.append(QLatin1Char(kHex[b & 15]));
        text.append(QLatin1Char(' '));
    }
    return text;
}

QByteArray WinKey::blockFromText(const QString &text)
{
    QByteArray bytes;
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        bool ok = false;
        const uint v = part.toUInt(&ok, 16);
        if (ok && v <= 0xFF)
            bytes.append(char(v));
    }
    return bytes;
}

// ---------------------------------------------------------------- host side

void WinKey::dataArrived()
{
    m_activity = true;
    if (!m_port)
        return;
    while (m_port->bytesAvailable() > 0) {
        const QByteArray chunk = m_port->readAll();
        if (chunk.isEmpty())
            break;
        m_work.append(chunk);
        decodeWork();
    }
}

void WinKey::hostData(const QByteArray &bytes)
{
    m_activity = true;
    m_work.append(bytes);
    decodeWork();
}

void WinKey::wakeEngine()
{
    const quint32 id = m_timerId.load();
    if (id == 0 || !m_engineIdle.exchange(false))
        return;
    timeSetEventPeriod(id, 1);
    emit engineWoken();
}

void WinKey::decodeWork()
{
    while (!m_work.isEmpty()) {
        D::Result r;
        Params params;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            r = D::decode(m_work, m_host, m_busy.load());
            params = m_host.params;
        }
        if (r.reply >= 0)
            reply(quint8(r.reply));
        if (r.save)
            emit parametersChanged(toBlock(params));
        if (r.used == 0)
            break; // the rest of the command has not arrived yet
        m_work.remove(0, r.used);
    }
    // Text, a buffered command or a pause change: the engine counts from
    // its next millisecond.
    wakeEngine();
}

void WinKey::reply(quint8 byte)
{
    // Nobody to answer without a host port.
    if (m_port)
        writeToHost(QByteArray(1, char(byte)));
}

void WinKey::writeToHost(const QByteArray &bytes)
{
    if (m_port && m_port->isOpen())
        m_port->write(bytes);
}

// ------------------------------------------------------------------- engine

void WinKey::sendChar()
{
    int echo = -1;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const quint16 wait = D::param16(m_host.params, D::BufferedWait);
        if (wait > 0) {
            D::setParam16(m_host.params, D::BufferedWait, wait - 1);
            return;
        }
        if (m_timerId.load() != 0 && !m_priorityRaised)
            m_priorityRaised = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        if (countOne())
            return;
        m_keyOut = false;
        if (param(D::PauseState) == 1)
            return;

        // A freshly loaded schedule starts in this same millisecond, so
        // fetching costs no time and the element timing stays exact.
        if (fetchNext(&echo) && countOne()) {
            // fall through to the echo
        } else {
            const quint32 tailTime = std::min<quint32>(D::param32(m_host.params, D::PttTail), 0xFFFFFFFEu);
            if (m_tail <= tailTime)
                ++m_tail;
            if (m_tail > tailTime && m_host.buffer.isEmpty() && (m_busy.load() || m_pttEngaged))
                endTransmission();
        }
        // Nothing left to count: sleep at the idle period until the host
        // sends again, instead of waking every millisecond for nothing.
        const quint32 id = m_timerId.load();
        if (id != 0 && !m_engineIdle.load() && nothingToKey()) {
            m_engineIdle = true;
            timeSetEventPeriod(id, kIdlePeriodMs);
        }
    }
    if (echo >= 0) {
        // Written from the GUI thread, which owns the port.
        const char ch = char(echo);
        QMetaObject::invokeMethod(
            this, [this, ch] { writeToHost(QByteArray(1, ch)); }, Qt::QueuedConnection);
    }
}

bool WinKey::nothingToKey() const
{
    const D::Params &p = m_host.params;
    const quint32 tailTime = std::min<quint32>(D::param32(p, D::PttTail), 0xFFFFFFFEu);
    return m_host.buffer.isEmpty() && !m_busy.load() && !m_pttEngaged && !m_keyOut.load() && !m_pttOut.load()
        && m_tail > tailTime && m_leadIn == 0 && D::param16(p, D::BufferedWait) == 0
        && D::param32(p, D::WordDelay) == 0
        && std::all_of(m_marks.begin(), m_marks.end(), [](quint16 v) { return v == 0; })
        && std::all_of(m_spaces.begin(), m_spaces.end(), [](quint16 v) { return v == 0; });
}

void WinKey::endTransmission()
{
    m_pttOut = false;
    m_pttEngaged = false;
    m_busy = false;
    m_firstElement = true;
}

bool WinKey::countOne()
{
    D::Params &p = m_host.params;
    const quint16 wait = D::param16(p, D::BufferedWait);
    if (wait > 0) {
        D::setParam16(p, D::BufferedWait, wait - 1);
        return true;
    }
    const quint32 word = D::param32(p, D::WordDelay);
    if (word > 0) {
        m_keyOut = false;
        D::setParam32(p, D::WordDelay, word - 1);
        return true;
    }
    if (m_leadIn > 0) {
        --m_leadIn;
        return true;
    }
    for (int i = 0; i < kElements; ++i) {
        if (m_marks[size_t(i)] > 0) {
            m_keyOut = true;
            --m_marks[size_t(i)];
            return true;
        }
        if (m_spaces[size_t(i)] > 0) {
            m_keyOut = false;
            --m_spaces[size_t(i)];
            return true;
        }
    }
    return false;
}

MorseSchedule::Timing WinKey::timing() const
{
    MorseSchedule::Timing t;
    t.dit = param(D::DitTime);
    t.speed = param(D::Speed);
    t.weighting = param(D::Weighting);
    t.keyCompensation = param(D::KeyCompensation);
    t.ratio = param(D::Ratio);
    t.farnsworth = param(D::Farnsworth);
    t.firstExtension = param(D::FirstExtension);
    return t;
}

bool WinKey::fetchNext(int *echo)
{
    QByteArray &buffer = m_host.buffer;
    while (!buffer.isEmpty() && D::isBufferedCommand(quint8(buffer.at(0)))) {
        const D::Buffered b = D::runBuffered(buffer, m_host.params);
        if (b.used == 0)
            return false;
        if (b.ptt >= 0)
            m_pttOut = b.ptt == 1;
        if (b.merge)
            m_mergePending = true;
        buffer.remove(0, b.used);
    }
    if (buffer.isEmpty())
        return false;

    const char ch = buffer.at(0);
    if (m_host.echoback)
        *echo = quint8(ch);
    m_busy = true;
    if (!m_pttEngaged) {
        m_pttEngaged = true;
        m_pttOut = true;
        m_leadIn = quint16(std::min<quint32>(D::param32(m_host.params, D::PttLead), 0xFFFF));
    }
    m_tail = 0;
    buffer.remove(0, 1);

    const MorseSchedule::Character c
        = MorseSchedule::character(ch, timing(), &m_firstElement, m_mergePending);
    if (c.kind == MorseSchedule::Character::WordSpace) {
        D::setParam32(m_host.params, D::WordDelay, c.wordDelay);
    } else if (c.kind == MorseSchedule::Character::Keyed) {
        m_elementCount = quint16(c.count);
        m_marks = c.marks;
        m_spaces = c.spaces;
        m_mergePending = false;
    }
    return true;
}

} // namespace morvex
