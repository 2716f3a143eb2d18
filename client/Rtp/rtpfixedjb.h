#pragma once

#include "client/Rtp/fixedjitterbuf.h"
#include "client/Rtp/packetlossconcealment.h"

#include <QIODevice>
#include <QVector>

#include <array>
#include <functional>
#include <memory>
#include <mutex>

namespace morvex {

class RtpStatistics;

// Receive audio buffer between the streaming thread, which writes whole
// datagrams, and a playback callback, which reads whole frames. Every slot
// without audio is concealed. One mutex serialises both sides.
class RtpFixedJb : public QIODevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtpFixedJb)

public:
    static constexpr int kHeaderSize = 16;
    // Nothing larger fits in a UDP datagram.
    static constexpr qint64 kMaxDatagramSize = 65535;
    static constexpr qint32 kMaxFrameBytes = 1 << 20;
    static constexpr qint32 kMaxPacketMs = 60000;
    static constexpr quint32 kLateLimit = 15;

    explicit RtpFixedJb(QObject *parent = nullptr);
    ~RtpFixedJb() override;

    bool isSequential() const override { return true; }
    bool reset() override;

    // Reads and writes are public so the streaming side can hand over
    // datagrams without the QIODevice layer's checks in between.
    qint64 readData(char *data, qint64 maxlen) override;
    qint64 writeData(const char *data, qint64 len) override;

    void setFormat(qint32 frameBytes, qint32 ms);
    // The steady clock (ns) the buffer reads for its start-up and the
    // stamps; tests hand in their own.
    void setClock(std::function<qint64()> nowNs);

    qint32 frameSize() const;
    qint32 packetDuration() const;
    qint32 bufferedTime() const;
    // When the datagram with this sender timestamp was written and when its
    // frame was read for playing (steady clock, ns); false when it is not
    // among the last ones. For latency measurements.
    bool stamps(quint32 ts, qint64 *writtenNs, qint64 *readNs) const;
    const RtpStatistics *statisticsCounter() const { return m_stats; }
    RtpStatistics *statisticsCounter() { return m_stats; }

signals:
    void statistics(QVector<quint32> stat);

public slots:
    void setBuffered(qint32 ms);

private:
    void clear();
    enum class Arrival {
        Copy, // already taken
        Newest,
        Overtaken, // behind the newest, first seen now
    };
    // Counts loss as sequence numbers go.
    Arrival trackSequence(quint16 seq);
    void absorbExcessDelay();
    void anchorClock();
    void deliver(QByteArray &payload, char *slot);
    void conceal(char *slot);

    std::unique_ptr<FixedJitterBuf> m_jb;
    RtpStatistics *m_stats = nullptr;
    PacketLossConcealment m_plc;
    // A standard mutex, so ThreadSanitizer can follow the locking.
    mutable std::mutex m_mutex;
    bool m_firstPacket = true;
    qint32 m_packetMs = 20;
    FixedJitterBuf::Ms m_now = 0;
    qint32 m_frameBytes = 360;
    qint32 m_bufferedMs = 240;
    bool m_resetRequested = false;
    // Refusals since the last datagram queued.
    quint32 m_lateCount = 0;
    // Newest sequence number, and for it and the 63 before it (bit n is
    // newest - n): which arrived, and which were counted lost.
    quint16 m_lastSeq = 0;
    bool m_seqKnown = false;
    quint64 m_seqSeen = 0;
    quint64 m_seqLost = 0;
    // Nothing played since the last clear: no concealment to fade from.
    bool m_silentStart = true;
    // The playout clock moves with reads only; the first read after the
    // first datagram moves it on by the time that passed in between.
    qint64 m_firstArrivalNs = 0;
    std::function<qint64()> m_clock;
    bool m_clockAnchored = false;
    struct Stamp
    {
        quint32 ts = 0;
        qint64 ns = -1;
    };
    static constexpr int kStamps = 64;
    std::array<Stamp, kStamps> m_written {};
    std::array<Stamp, kStamps> m_read {};
    int m_writtenPos = 0;
    int m_readPos = 0;
    // Work area for concealed slots and short payloads, so the callback never
    // allocates and never writes samples through an unaligned pointer.
    QVector<qint16> m_scratch;
};

} // namespace morvex
