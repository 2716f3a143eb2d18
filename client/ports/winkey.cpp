#include "client/ports/winkey.h"

#include "platform/mmtimer.h"
#include "common/settings.h"
#include "platform/threadpriority.h"

#include <QDebug>
#include <mutex>
#include <QStringList>

#include <algorithm>
#include <cstring>

Q_LOGGING_CATEGORY(lcWinKey, "winkey")

namespace {
struct MorseEntry
{
    char ch;
    const char *pattern; // 'i' dit, 'a' dah; null for the word space
};

const MorseEntry kMorse[] = {
    { ' ', nullptr },
    { '!', "" },
    { '"', "" },
    { '$', "" },
    { '&', "" },
    { '\'', "" },
    { '(', "aiaia" },
    { ')', "aiaia" },
    { '+', "" },
    { ',', "aaiiaa" },
    { '-', "aiiiia" },
    { '.', "iaiaia" },
    { '/', "aiiai" },
    { '0', "aaaaa" },
    { '1', "iaaaa" },
    { '2', "iiaaa" },
    { '3', "iiiaa" },
    { '4', "iiiia" },
    { '5', "iiiii" },
    { '6', "aiiii" },
    { '7', "aaiii" },
    { '8', "aaaii" },
    { '9', "aaaai" },
    { ':', "aaaiii" },
    { ';', "aiaiai" },
    { '=', "aiiia" },
    { '?', "iiaaii" },
    { '@', "" },
    { 'A', "ia" },
    { 'B', "aiii" },
    { 'C', "aiai" },
    { 'D', "aii" },
    { 'E', "i" },
    { 'F', "iiai" },
    { 'G', "aai" },
    { 'H', "iiii" },
    { 'I', "ii" },
    { 'J', "iaaa" },
    { 'K', "aia" },
    { 'L', "iaii" },
    { 'M', "aa" },
    { 'N', "ai" },
    { 'O', "aaa" },
    { 'P', "iaai" },
    { 'Q', "aaia" },
    { 'R', "iai" },
    { 'S', "iii" },
    { 'T', "a" },
    { 'U', "iia" },
    { 'V', "iiia" },
    { 'W', "iaa" },
    { 'X', "aiia" },
    { 'Y', "aiaa" },
    { 'Z', "aaii" },
    { '_', "" },
};
static_assert(sizeof(kMorse) / sizeof(kMorse[0]) == 55, "Morse table has 55 entries");

const char *const kToneHz[] = { "3759", "1879", "1252", "940", "752", "625", "535", "469", "417", "375" };

constexpr int kMinWpm = 5;
constexpr int kMaxWpm = 99;

quint16 clampCount(long long v)
{
    return quint16(std::clamp<long long>(v, 0, 0xFFFF));
}

bool isBufferedCommand(quint8 c)
{
    return c >= 0x18 && c <= 0x1F;
}
} // namespace

WinKey::WinKey(QObject *parent)
    : QObject(parent)
{
    restoreParams();
}

WinKey::~WinKey()
{
    stop();
}

quint16 WinKey::param16(int at) const
{
    return quint16(m_params[size_t(at)] | (m_params[size_t(at) + 1] << 8));
}

void WinKey::setParam16(int at, quint16 v)
{
    m_params[size_t(at)] = quint8(v);
    m_params[size_t(at) + 1] = quint8(v >> 8);
}

quint32 WinKey::param32(int at) const
{
    return quint32(m_params[size_t(at)]) | (quint32(m_params[size_t(at) + 1]) << 8)
        | (quint32(m_params[size_t(at) + 2]) << 16) | (quint32(m_params[size_t(at) + 3]) << 24);
}

void WinKey::setParam32(int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        m_params[size_t(at + i)] = quint8(v >> (8 * i));
}

void WinKey::setDitFromSpeed(int wpm)
{
    // Callers make sure wpm is not 0.
    setParam(DitTime, quint8(std::min(1200 / wpm, 255)));
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
    return m_params;
}

int WinKey::bufferedCount() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_buffer.size();
}

quint8 WinKey::statusByte() const
{
    quint8 status = m_busy.load() ? 0xC3 : 0xC0;
    if (bufferedCount() >= 20)
        status |= 0x01;
    return status;
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

void WinKey::decodeWork()
{
    while (!m_work.isEmpty()) {
        const quint8 c = quint8(m_work.at(0));
        const int used = decodeOne(m_work);
        if (c < 0x20 || c >= 0x80)
            saveParams();
        if (used == 0)
            return; // the rest of the command has not arrived yet
        m_work.remove(0, used);
    }
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

int WinKey::decodeAdmin(const QByteArray &work)
{
    // Kept until the sub-command is there: a split write must not turn the
    // sub-command byte into a command of its own.
    if (work.size() < 2)
        return 0;
    const quint8 sub = quint8(work.at(1));
    switch (sub) {
    case 0x00:
        qCDebug(lcWinKey) << "Admin calibrate";
        if (work.size() == 2)
            m_calibrationPending = true;
        return 2;
    case 0x01:
        qCDebug(lcWinKey) << "Admin reset";
        return 2;
    case 0x02:
        qCDebug(lcWinKey) << "Admin host open";
        reply(10);
        return 2;
    case 0x03:
        qCDebug(lcWinKey) << "Admin host close";
        return 2;
    case 0x04:
        if (work.size() < 3)
            return 0;
        qCDebug(lcWinKey) << "Admin echo";
        reply(quint8(work.at(2)));
        return 3;
    case 0x05:
        qCDebug(lcWinKey) << "Admin paddle A2D";
        reply(0x80);
        return 2;
    case 0x06:
        qCDebug(lcWinKey) << "Admin speed A2D";
        return work.size() >= 3 ? 3 : 2;
    case 0x07:
        qCDebug(lcWinKey) << "Admin get value";
        return 2;
    case 0x09:
        qCDebug(lcWinKey) << "Admin get Cal";
        return 2;
    default:
        return 1;
    }
}

int WinKey::decodeOne(const QByteArray &work)
{
    const quint8 c = quint8(work.at(0));
    const int n = work.size();
    auto p = [&work](int i) { return quint8(work.at(i)); };

    if (c >= 0x20 && c < 0x80) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_buffer.append(char(c));
        return 1;
    }
    if (c >= 0x80) {
        if (c == 0xFF)
            m_calibrationPending = false;
        return 1;
    }
    if (c == 0x00)
        return decodeAdmin(work);

    static const quint8 kLength[0x20] = {
        2,
        2,
        2,
        2,
        3,
        4,
        2,
        1,
        1,
        2,
        1,
        2,
        2,
        2,
        2,
        16, //
        2,
        2,
        2,
        1,
        2,
        1,
        2,
        2,
        2,
        2,
        2,
        1,
        2,
        2,
        2,
        1,
    };
    const int len = kLength[c];
    if (n < len)
        return 0;

    std::unique_lock<std::mutex> lock(m_mutex);
    switch (c) {
    case 0x01: {
        const quint8 v = p(1);
        if (v >= 1 && v <= 10) {
            setParam(Sidetone, v);
            qCDebug(lcWinKey) << "Set sidetone: " << kToneHz[v - 1] << "Hz";
        } else {
            qCWarning(lcWinKey).nospace() << "Set sidetone: wrong value (" << v << ")";
        }
        break;
    }
    case 0x02: {
        const quint8 v = p(1);
        if (v >= kMinWpm && v <= kMaxWpm) {
            setParam(Speed, v);
            setDitFromSpeed(v);
            qCDebug(lcWinKey) << "Set WPM speed: " << v << "wpm";
        } else {
            qCWarning(lcWinKey).nospace() << "Set WPM speed: wrong value (" << v << ")";
        }
        break;
    }
    case 0x03: {
        const quint8 v = p(1);
        if (v >= 10 && v <= 90) {
            setParam(Weighting, v);
            qCDebug(lcWinKey) << "Set weighting: " << v;
        } else {
            qCWarning(lcWinKey).nospace() << "Set weighting: wrong value (" << v << ")";
        }
        break;
    }
    case 0x04:
        setParam32(PttLead, quint32(p(1)) * 10);
        setParam32(PttTail, quint32(p(2)) * 10);
        qCDebug(lcWinKey) << "Ptt lead: " << p(1) * 10 << "Ptt tail: " << p(2) * 10;
        break;
    case 0x05:
        setParam(PotMin, p(1));
        setParam(PotWpmRange, p(2));
        setParam(PotRange, p(3));
        qCDebug(lcWinKey) << "Min WPM: " << p(1) << "WPM range: " << p(2) << "Pot range: " << p(3);
        break;
    case 0x06:
        setParam(PauseState, p(1));
        qCDebug(lcWinKey) << "SetPauseState: " << p(1);
        break;
    case 0x07:
        qCDebug(lcWinKey) << "Get speed pot";
        lock.unlock();
        reply(0x8A);
        break;
    case 0x08:
        qCDebug(lcWinKey) << "Backspace";
        if (m_buffer.size() > 1)
            m_buffer.chop(1);
        break;
    case 0x09:
        setParam(PinConfig, p(1));
        qCDebug(lcWinKey) << "Pin config" << p(1);
        break;
    case 0x0A:
        m_buffer.clear();
        setParam16(KeyBuffered, 0);
        qCDebug(lcWinKey) << "Clear buffer";
        break;
    case 0x0B:
        qCDebug(lcWinKey) << "Key immediate" << p(1);
        break;
    case 0x0C:
        setParam(Hscw, p(1));
        qCDebug(lcWinKey) << "Set HSCW" << p(1);
        break;
    case 0x0D:
        setParam(Farnsworth, p(1));
        qCDebug(lcWinKey) << "Set farns WPM: " << p(1);
        break;
    case 0x0E:
        m_echoback = (p(1) & 0x04) != 0;
        qCDebug(lcWinKey) << "Set WinKey mode: " << p(1) << "Echoback: " << m_echoback;
        break;
    case 0x0F: {
        const quint8 speed = p(2);
        if (speed >= kMinWpm) {
            setParam(Speed, speed);
            setDitFromSpeed(speed);
        } else {
            // A zero (or too slow to store) speed would divide by zero or
            // overflow the dit time: keep the speed we had.
            qCWarning(lcWinKey).nospace() << "Load defaults: wrong speed (" << speed << ")";
        }
        setParam(Sidetone, p(3));
        setParam(Weighting, p(4));
        setParam32(PttLead, quint32(p(5)) * 10);
        setParam32(PttTail, quint32(p(6)) * 10);
        setParam(PotMin, p(7));
        setParam(PotWpmRange, p(8));
        setParam(FirstExtension, p(9));
        setParam(KeyCompensation, p(10));
        setParam(Farnsworth, p(11));
        setParam(Ratio, p(13));
        setParam(PinConfig, p(14));
        setParam(PotRange, p(15));
        qCDebug(lcWinKey) << "Load defaults";
        break;
    }
    case 0x10:
        setParam(FirstExtension, p(1));
        qCDebug(lcWinKey) << "Set 1-st extension: " << p(1);
        break;
    case 0x11:
        setParam(KeyCompensation, p(1));
        qCDebug(lcWinKey) << "Set key comp: " << p(1);
        break;
    case 0x12:
        setParam(PaddleSwitchpoint, p(1));
        qCDebug(lcWinKey) << "Set paddle switchpoint: " << p(1);
        break;
    case 0x13:
        qCDebug(lcWinKey) << "Nop";
        break;
    case 0x14:
        setParam(SoftPaddle, p(1));
        qCDebug(lcWinKey) << "Soft paddle: " << p(1);
        break;
    case 0x15: {
        qCDebug(lcWinKey) << "Get status";
        quint8 status = m_busy.load() ? 0xC3 : 0xC0;
        if (m_buffer.size() >= 20)
            status |= 0x01;
        lock.unlock();
        reply(status);
        break;
    }
    case 0x16:
        setParam(PointerCmd, p(1));
        qCDebug(lcWinKey) << "Pointer CMD: " << p(1);
        break;
    case 0x17:
        setParam(Ratio, p(1));
        qCDebug(lcWinKey) << "Set Dit/Dah ratio: " << p(1);
        break;
    case 0x1F:
        qCDebug(lcWinKey) << "Buffered nop";
        break;
    default:
        // 0x18 to 0x1E: run by the engine when they reach the head.
        m_buffer.append(work.constData(), len);
        break;
    }
    return len;
}

void WinKey::saveParams()
{
    const Params copy = parameters();
    (*Settings::instance())(Settings::WinKeyParameters, Settings::WinKey) = paramsToText(copy);
}

QString WinKey::paramsToText(const Params &params)
{
    QString text;
    text.reserve(kParamSize * 3);
    static const char kHex[] = "0123456789abcdef";
    for (quint8 b : params) {
        text.append(QLatin1Char(kHex[b >> 4]));
        text.append(QLatin1Char(kHex[b & 15]));
        text.append(QLatin1Char(' '));
    }
    return text;
}

void WinKey::restoreParams()
{
    const QString text = Settings::instance()->value(Settings::WinKeyParameters, Settings::WinKey).toString();
    if (text.isEmpty())
        return;
    QByteArray bytes;
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        bool ok = false;
        const uint v = part.toUInt(&ok, 16);
        if (ok && v <= 0xFF)
            bytes.append(char(v));
    }
    if (bytes.size() != kParamSize) {
        qCWarning(lcWinKey) << "Wrong settings size" << bytes.size() << kParamSize;
        return;
    }
    std::memcpy(m_params.data(), bytes.constData(), kParamSize);
}

// ------------------------------------------------------------------- engine

void WinKey::sendChar()
{
    int echo = -1;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const quint16 wait = param16(BufferedWait);
        if (wait > 0) {
            setParam16(BufferedWait, wait - 1);
            return;
        }
        if (m_timerId.load() != 0 && !m_priorityRaised)
            m_priorityRaised = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        if (countOne())
            return;
        m_keyOut = false;
        if (param(PauseState) == 1)
            return;

        // A freshly loaded schedule starts in this same millisecond, so
        // fetching costs no time and the element timing stays exact.
        if (fetchNext(&echo) && countOne()) {
            // fall through to the echo
        } else {
            const quint32 tailTime = std::min<quint32>(param32(PttTail), 0xFFFFFFFEu);
            if (m_tail <= tailTime)
                ++m_tail;
            if (m_tail > tailTime && m_buffer.isEmpty() && (m_busy.load() || m_pttEngaged))
                endTransmission();
        }
    }
    if (echo >= 0) {
        // Written from the GUI thread, which owns the port.
        const char ch = char(echo);
        QMetaObject::invokeMethod(
            this, [this, ch] { writeToHost(QByteArray(1, ch)); }, Qt::QueuedConnection);
    }
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
    const quint16 wait = param16(BufferedWait);
    if (wait > 0) {
        setParam16(BufferedWait, wait - 1);
        return true;
    }
    const quint32 word = param32(WordDelay);
    if (word > 0) {
        m_keyOut = false;
        setParam32(WordDelay, word - 1);
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

bool WinKey::runBuffered(int *consumed)
{
    const quint8 c = quint8(m_buffer.at(0));
    if (c == 0x1B) {
        // The two letters to merge must both be there.
        if (m_buffer.size() < 3)
            return false;
        qCDebug(lcWinKey) << "Merge letters: ";
        m_mergePending = true;
        *consumed = 1;
        return true;
    }
    if (c == 0x1F) {
        qCDebug(lcWinKey) << "Buffered nop";
        *consumed = 1;
        return true;
    }
    if (m_buffer.size() < 2) {
        // Its parameter was taken by a backspace: nothing left to run.
        *consumed = 1;
        return true;
    }
    const quint8 v = quint8(m_buffer.at(1));
    *consumed = 2;
    switch (c) {
    case 0x18:
        if (v == 1) {
            qCDebug(lcWinKey) << "PTT On/Off: ON";
            m_pttOut = true;
        } else if (v == 0) {
            qCDebug(lcWinKey) << "PTT On/Off: OFF";
            m_pttOut = false;
        }
        break;
    case 0x19:
        if (v < 100) {
            setParam16(KeyBuffered, quint16(v * 1000));
            qCDebug(lcWinKey) << "Key buffered: " << v;
        } else {
            qCWarning(lcWinKey).nospace() << "Key buffered: wrong value(" << v << ")";
        }
        break;
    case 0x1A:
        if (v < 100) {
            setParam16(BufferedWait, quint16(v * 1000));
            qCDebug(lcWinKey) << "Wait seconds: " << v;
        } else {
            qCWarning(lcWinKey).nospace() << "Wait seconds: wrong value(" << v << ")";
        }
        break;
    case 0x1C:
        if (v >= kMinWpm && v <= 90) {
            setParam(BufferedSpeed, v);
            setDitFromSpeed(v);
            qCDebug(lcWinKey) << "Change speed buffer: " << v;
        } else {
            qCWarning(lcWinKey).nospace() << "Change speed buffer: wrong value(" << v << ")";
        }
        break;
    case 0x1D:
        qCDebug(lcWinKey) << "HSCW speed change";
        break;
    case 0x1E:
        qCDebug(lcWinKey) << "Cancel buffer speed change";
        // No speed set yet: keep the dit time rather than divide by zero.
        if (param(Speed) != 0)
            setDitFromSpeed(param(Speed));
        break;
    default:
        break;
    }
    return true;
}

WinKey::Times WinKey::elementTimes() const
{
    const int d = param(DitTime);
    const int w = param(Weighting);
    const int k = param(KeyCompensation);
    const int r = param(Ratio);
    const int farns = param(Farnsworth);
    Times t;
    int base = d;
    const bool useFarns = farns != 0 && param(Speed) <= farns;
    if (useFarns)
        base = 1200 / farns;
    t.ditMark = w * base / 50 + k;
    t.space = 2 * base - t.ditMark;
    t.dahMark = r * 3 * base / 50 + (t.ditMark - base);
    t.gap = useFarns ? 3 * (base + d) : 4 * d - t.ditMark;
    return t;
}

bool WinKey::fetchNext(int *echo)
{
    while (!m_buffer.isEmpty() && isBufferedCommand(quint8(m_buffer.at(0)))) {
        int consumed = 0;
        if (!runBuffered(&consumed))
            return false;
        m_buffer.remove(0, consumed);
    }
    if (m_buffer.isEmpty())
        return false;

    const char ch = m_buffer.at(0);
    if (m_echoback)
        *echo = quint8(ch);
    m_busy = true;
    if (!m_pttEngaged) {
        m_pttEngaged = true;
        m_pttOut = true;
        m_leadIn = clampCount(param32(PttLead));
    }
    m_tail = 0;
    m_buffer.remove(0, 1);

    const Times t = elementTimes();
    const MorseEntry *entry = nullptr;
    for (const MorseEntry &e : kMorse) {
        if (e.ch == ch) {
            entry = &e;
            break;
        }
    }
    if (!entry)
        return true; // not in the table: dropped
    if (!entry->pattern) {
        setParam32(WordDelay, quint32(7 * param(DitTime)));
        return true;
    }
    const int count = int(std::strlen(entry->pattern));
    if (count == 0)
        return true;
    m_elementCount = quint16(std::min(count, kElements));
    for (int i = 0; i < m_elementCount; ++i) {
        long long mark = entry->pattern[i] == 'i' ? t.ditMark : t.dahMark;
        if (m_firstElement) {
            m_firstElement = false;
            mark += param(FirstExtension);
        }
        m_marks[size_t(i)] = clampCount(mark);
        m_spaces[size_t(i)] = clampCount(t.space);
    }
    if (m_mergePending)
        m_mergePending = false;
    else
        m_spaces[size_t(m_elementCount - 1)] = clampCount(t.gap);
    return true;
}
