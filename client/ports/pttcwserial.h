#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <array>
#include <atomic>
#include <memory>

namespace morvex {

class VSerial;
class WinKey;

// One keying datagram: sequence, program clock, 64 two-bit samples of one
// millisecond each (key in the high bit of each pair, PTT in the low bit,
// oldest sample in the top bits of byte 8).
struct KeyingRecord
{
    static constexpr int kSize = 24;
    static constexpr int kSamples = 64;
    static constexpr int kSampleOffset = 8;

    std::array<quint8, kSize> bytes {};
    int bitCount = 0;

    // Shifts one sample in; true when the record is full.
    bool addSample(bool key, bool ptt);
    void stamp(quint32 sequence, qint32 timeMs);
    void clear();
    QByteArray toByteArray() const;

    // Reading side (the Brelko's view).
    static quint32 sequenceOf(const QByteArray &record);
    static qint32 timeOf(const QByteArray &record);
    static bool keyAt(const QByteArray &record, int sample);
    static bool pttAt(const QByteArray &record, int sample);
};

// Samples RTS (PTT) and DTR (key) of the PTT/CW port, merged with the
// WinKey outputs, once per millisecond and sends them as keying records.
class PttCwSerial final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PttCwSerial)

public:
    explicit PttCwSerial(QObject *parent = nullptr);
    ~PttCwSerial() override;

    // Milliseconds since the first sampler was made; never restarted.
    static qint32 programClock();

    void setDestination(const QHostAddress &address, quint16 port);
    void startSampling(VSerial *device, WinKey *winKey);
    void stopSampling();
    bool isSampling() const { return m_timerId.load() != 0; }

    // One millisecond of sampling; the timer calls it.
    void step();

    // With nothing keyed for kIdleAfterMs, the sampler wakes every
    // kIdlePeriodMs and fills the milliseconds between with the quiet lines;
    // a line edge, WinKey text or a forced PTT brings back the 1 ms tick at once.
    static constexpr int kIdlePeriodMs = 64; // one record per wake-up
    static constexpr int kIdleAfterMs = 1000;
    bool isIdle() const { return m_wake->idle.load(); }
    // Any thread: back to 1 ms sampling from the next millisecond.
    void wakeUp() { m_wake->wake(); }

    // Which PTT source a transmit time-out released.
    enum PttSource { PttLine = 1, WinKeyPtt = 2 };

    bool takeCwActivity() { return m_cwActivity.exchange(false); }
    bool pttForced() const { return m_forcedPtt.load(); }
    bool sendingEnabled() const { return m_sendEnabled.load(); }
    quint32 sequence() const { return m_sequence.load(); }

    int txTimeout() const { return m_txTimeoutMs.load(); }

signals:
    void changedRTS(bool state);
    void packetFilled(QByteArray data);
    // A source held PTT for the whole time-out and is released until it lets go.
    void pttTimedOut(int source);

public slots:
    void sendPacket(QByteArray data);
    void setPttState(bool state);
    // Off (permission withdrawn): the samples go off at once, and the records
    // that say so still go out before sending stops.
    void setSendState(bool state);
    // Milliseconds of continuous PTT from one source before it is released; 0: never.
    void setTxTimeout(int ms);

private:
    struct PttGuard
    {
        int onMs = 0;
        bool latched = false;
    };
    // Records still sent after sending was switched off: those queued
    // before, then enough to carry the released samples.
    static constexpr int kDrainDatagrams = 6;

    static void timerProc(quint32 id, quint32 msg, quintptr user, quintptr, quintptr);
    void sendFinalRecord();
    void addSample(bool key, bool ptt, int samplesAfter);
    void setIdle(bool idle);

    // What a wake-up needs, shared with the connections that deliver it:
    // those run on the threads that change the lines or feed the WinKey, and
    // may still be running while the sampler is being destroyed.
    struct WakeLine
    {
        std::atomic<quint32> timerId { 0 };
        std::atomic<bool> idle { false };
        std::atomic<bool> woken { false };
        void wake();
    };
    bool guardPtt(PttGuard &guard, bool on, PttSource source, int ms);

    VSerial *m_device = nullptr;
    WinKey *m_winKey = nullptr;
    std::atomic<quint32> m_sequence { 0 };
    KeyingRecord m_current;
    KeyingRecord m_previous;
    QUdpSocket *m_socket = nullptr;
    std::atomic<quint32> m_timerId { 0 };
    bool m_priorityRaised = false;
    QHostAddress m_address;
    quint16 m_port = 10000;
    std::atomic<bool> m_cwActivity { false };
    bool m_lastPtt = false;
    // Written by the timer only; read once the timer is killed.
    bool m_lastSampleOn = false;
    std::atomic<bool> m_forcedPtt { false };
    std::atomic<bool> m_sendEnabled { false };
    std::atomic<bool> m_muted { false };
    std::atomic<int> m_txTimeoutMs { 0 };
    int m_drain = 0;
    std::shared_ptr<WakeLine> m_wake = std::make_shared<WakeLine>();
    // Timer thread only.
    quint64 m_lastTick = 0;
    int m_quietMs = 0;
    bool m_lastKey = false; // the last sample added
    bool m_lastPttSample = false;
    PttGuard m_lineGuard;
    PttGuard m_winKeyGuard;
};

} // namespace morvex
