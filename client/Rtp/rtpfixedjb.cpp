#include "client/Rtp/rtpfixedjb.h"

#include "client/Rtp/rtpstatistics.h"

#include <QDebug>
#include <QtEndian>

#include <chrono>
#include <cstring>

namespace morvex {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "payload samples are little-endian and used as they are");

namespace {
qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr qint32 kInitialSize = 240;
constexpr qint32 kInitialThreshold = 1000;
} // namespace

RtpFixedJb::RtpFixedJb(QObject *parent)
    : QIODevice(parent)
    , m_jb(std::make_unique<FixedJitterBuf>(FixedJitterBuf::Config { kInitialSize, kInitialThreshold }))
    , m_stats(new RtpStatistics(this))
    , m_clock(&steadyNs)
    , m_scratch(m_frameBytes / 2)
{
    connect(m_stats, &RtpStatistics::statistics, this, &RtpFixedJb::statistics);
    // Datagrams carry Main RX and Sub RX interleaved.
    m_plc.setChannels(2);
}

RtpFixedJb::~RtpFixedJb() = default;

bool RtpFixedJb::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_resetRequested = true;
    return true;
}

qint64 RtpFixedJb::writeData(const char *data, qint64 len)
{
    if (!data || len <= kHeaderSize || len > kMaxDatagramSize)
        return 0;

    std::lock_guard<std::mutex> lock(m_mutex);
    const auto *bytes = reinterpret_cast<const uchar *>(data);
    const quint16 seq = qFromBigEndian<quint16>(bytes + 2);
    const quint32 ts = qFromBigEndian<quint32>(bytes + 4);

    m_stats->addReceived(1);
    // A copy the network made is no news: it is neither queued nor late.
    const Arrival arrival = trackSequence(seq);
    if (arrival == Arrival::Copy)
        return len;

    if (ts <= 2)
        return 0;
    m_written[size_t(m_writtenPos)] = { ts, m_clock() };
    m_writtenPos = (m_writtenPos + 1) % kStamps;

    // The sender's timestamp is taken as unsigned; the 64-bit clock holds it
    // whole, and its wrap at 2^32 is a step back that realigns the buffer.
    const QByteArray payload(data + kHeaderSize, int(len - kHeaderSize));
    FixedJitterBuf::Result r;
    if (m_firstPacket) {
        m_firstArrivalNs = m_clock();
        m_clockAnchored = false;
        m_now = FixedJitterBuf::Ms(ts) + m_packetMs;
        r = m_jb->putFirst(payload, m_packetMs, ts, m_now);
        m_firstPacket = false;
    } else {
        // A reader that has not come for long must not turn the stream into
        // refusals and a restart.
        absorbExcessDelay();
        r = m_jb->put(payload, m_packetMs, ts, m_now);
        // The datagram playout was anchored on had overtaken this one; its
        // slot is still to come, so it plays instead of being refused.
        if (r == FixedJitterBuf::Dropped && arrival == Arrival::Overtaken && m_silentStart)
            r = m_jb->putBeforeHead(payload, m_packetMs, ts, m_now);
    }

    if (r == FixedJitterBuf::Dropped) {
        ++m_lateCount;
        m_stats->addLate(1);
        qDebug() << "LATE";
        // Only lateness that persists restarts the playout.
        if (m_lateCount > kLateLimit) {
            qInfo() << "Receive buffer restarts after" << m_lateCount << "late datagrams in a row";
            m_lateCount = 0;
            m_resetRequested = true;
        }
    } else {
        m_lateCount = 0;
    }
    return len;
}

RtpFixedJb::Arrival RtpFixedJb::trackSequence(quint16 seq)
{
    constexpr int kWindow = 64;
    if (!m_seqKnown) {
        m_seqKnown = true;
        m_lastSeq = seq;
        m_seqSeen = 1;
        m_seqLost = 0;
        return Arrival::Newest;
    }
    // Distance in 16-bit serial arithmetic, so the wrap is a step of one.
    const int step = qint16(quint16(seq - m_lastSeq));
    if (step > 0) {
        // Before playout starts there is nothing to lose.
        const bool counting = !m_firstPacket;
        if (counting)
            m_stats->addLost(quint32(step - 1));
        if (step >= kWindow) {
            m_seqSeen = 1;
            m_seqLost = counting ? ~quint64(1) : 0;
        } else {
            const quint64 skipped = counting ? ((quint64(1) << step) - 1) & ~quint64(1) : 0;
            m_seqSeen = (m_seqSeen << step) | 1;
            m_seqLost = (m_seqLost << step) | skipped;
        }
        m_lastSeq = seq;
        return Arrival::Newest;
    }
    if (step <= -kWindow) {
        // Far behind: the sender started a new sequence.
        m_lastSeq = seq;
        m_seqSeen = 1;
        m_seqLost = 0;
        return Arrival::Newest;
    }
    const quint64 bit = quint64(1) << -step;
    if (m_seqSeen & bit)
        return Arrival::Copy;
    m_seqSeen |= bit;
    if (m_seqLost & bit) {
        // Counted lost when its successor came; it was only overtaken.
        m_seqLost &= ~bit;
        m_stats->recoverLost(1);
    }
    return Arrival::Overtaken;
}

// A stall of the reader (a device that starts late, a busy system) leaves
// more queued than the buffering asks for; playing it all would keep that
// stall as delay for good. Jitter within half the buffering never gets here.
void RtpFixedJb::absorbExcessDelay()
{
    const FixedJitterBuf::Ms delay = m_jb->size();
    const FixedJitterBuf::Ms target = delay + m_packetMs;
    const FixedJitterBuf::Ms slack = qMax<FixedJitterBuf::Ms>(delay / 2, 2 * m_packetMs);
    const FixedJitterBuf::Ms queued = FixedJitterBuf::Ms(m_jb->count()) * m_packetMs;
    if (queued <= target + slack)
        return;
    m_jb->dropOldest(int((queued - target) / m_packetMs));
    m_now = qMax(m_now, m_jb->nextDue());
}

// A playback device that starts (or comes back) a while after the first
// datagram must not add that while to the delay for good.
void RtpFixedJb::anchorClock()
{
    m_clockAnchored = true;
    // To the nearest frame: the reads that follow come a frame apart.
    const qint64 frames = ((m_clock() - m_firstArrivalNs) / 1000000 + m_packetMs / 2) / m_packetMs;
    if (frames <= 0)
        return;
    m_now += frames * m_packetMs;
    m_jb->skipTo(m_now);
}

qint64 RtpFixedJb::readData(char *data, qint64 maxlen)
{
    if (!data || maxlen <= 0)
        return 0;

    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_resetRequested) {
        clear();
        m_resetRequested = false;
    }
    if (m_firstPacket)
        return 0;
    if (!m_clockAnchored)
        anchorClock();
    absorbExcessDelay();

    const qint64 frames = maxlen / m_frameBytes;
    for (qint64 i = 0; i < frames; ++i) {
        FixedJitterBuf::Frame frame;
        const FixedJitterBuf::Result r = m_jb->get(&frame, m_now, m_packetMs);
        m_now += m_packetMs;
        char *slot = data + i * m_frameBytes;
        if (r == FixedJitterBuf::Delivered) {
            deliver(frame.payload, slot);
            m_silentStart = false;
            m_read[size_t(m_readPos)] = { quint32(frame.ts), m_clock() };
            m_readPos = (m_readPos + 1) % kStamps;
        } else {
            if (r == FixedJitterBuf::Dropped)
                m_stats->addLate(1);
            conceal(slot);
        }
    }
    return maxlen;
}

void RtpFixedJb::deliver(QByteArray &payload, char *slot)
{
    const int samples = m_frameBytes / 2;
    if (payload.size() >= m_frameBytes) {
        // The node's block is ours alone now: process it in place, copy once.
        auto *s = reinterpret_cast<qint16 *>(payload.data());
        m_plc.receive(s, samples);
        std::memcpy(slot, s, size_t(m_frameBytes));
        return;
    }
    // A short datagram plays as far as it goes, then silence.
    std::memset(m_scratch.data(), 0, size_t(m_frameBytes));
    std::memcpy(m_scratch.data(), payload.constData(), size_t(payload.size()));
    m_plc.receive(m_scratch.data(), samples);
    std::memcpy(slot, m_scratch.constData(), size_t(m_frameBytes));
}

void RtpFixedJb::conceal(char *slot)
{
    if (m_silentStart) {
        // Nothing heard yet: silence, and no fade-in over the first frame.
        std::memset(slot, 0, size_t(m_frameBytes));
        return;
    }
    m_plc.fillIn(m_scratch.data(), m_frameBytes / 2);
    std::memcpy(slot, m_scratch.constData(), size_t(m_frameBytes));
}

void RtpFixedJb::clear()
{
    m_firstPacket = true;
    m_now = 0;
    m_stats->reset();
    m_jb->clear();
    m_plc.clear();
    m_silentStart = true;
    m_lateCount = 0;
    m_seqKnown = false;
}

void RtpFixedJb::setFormat(qint32 frameBytes, qint32 ms)
{
    // Odd or empty frames would make the reader copy past its samples, and a
    // clock step below 2 ms breaks the core.
    if (frameBytes < 2 || frameBytes % 2 != 0 || frameBytes > kMaxFrameBytes || ms < 2 || ms > kMaxPacketMs) {
        qWarning() << "void RtpFixedJb::setFormat(qint32, qint32)"
                   << "Unusable format" << frameBytes << ms;
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frameBytes = frameBytes;
    m_packetMs = ms;
    m_scratch.resize(frameBytes / 2);
}

void RtpFixedJb::setBuffered(qint32 ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bufferedMs = ms;
    // Truncation toward zero of ms x 1.5, kept in 64 bits so large values cannot overflow.
    const FixedJitterBuf::Ms threshold = FixedJitterBuf::Ms(ms) * 3 / 2;
    m_jb = std::make_unique<FixedJitterBuf>(FixedJitterBuf::Config { ms, threshold });
    m_resetRequested = true;
}

bool RtpFixedJb::stamps(quint32 ts, qint64 *writtenNs, qint64 *readNs) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    qint64 w = -1;
    qint64 r = -1;
    for (const Stamp &s : m_written) {
        if (s.ns >= 0 && s.ts == ts)
            w = s.ns;
    }
    for (const Stamp &s : m_read) {
        if (s.ns >= 0 && s.ts == ts)
            r = s.ns;
    }
    if (writtenNs)
        *writtenNs = w;
    if (readNs)
        *readNs = r;
    return w >= 0 && r >= 0;
}

void RtpFixedJb::setClock(std::function<qint64()> nowNs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = nowNs ? std::move(nowNs) : std::function<qint64()>(&steadyNs);
}

qint32 RtpFixedJb::frameSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frameBytes;
}

qint32 RtpFixedJb::packetDuration() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_packetMs;
}

qint32 RtpFixedJb::bufferedTime() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bufferedMs;
}

} // namespace morvex
