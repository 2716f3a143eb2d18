#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <array>
#include <atomic>

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

    bool takeCwActivity() { return m_cwActivity.exchange(false); }
    bool pttForced() const { return m_forcedPtt.load(); }
    bool sendingEnabled() const { return m_sendEnabled.load(); }
    quint32 sequence() const { return m_sequence.load(); }

signals:
    void changedRTS(bool state);
    void packetFilled(QByteArray data);

public slots:
    void sendPacket(QByteArray data);
    void setPttState(bool state);
    void setSendState(bool state);

private:
    static void timerProc(quint32 id, quint32 msg, quintptr user, quintptr, quintptr);
    void sendFinalRecord();

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
};
