#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QLoggingCategory>
#include <mutex>
#include <QObject>
#include <QPointer>

#include <array>
#include <atomic>

Q_DECLARE_LOGGING_CATEGORY(lcWinKey)

// WinKey keyer on the Winkey virtual port: decodes the host protocol in the
// GUI thread and keys the buffered text with a 1 ms engine on the timer
// thread. The PTT and key outputs are read by the keying sampler.
class WinKey final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WinKey)

public:
    static constexpr int kParamSize = 40;
    static constexpr int kElements = 6;
    using Params = std::array<quint8, kParamSize>;

    // Parameter block offsets.
    enum Param {
        PttLead = 4,
        PttTail = 8,
        WordDelay = 12,
        KeyBuffered = 16,
        BufferedWait = 18,
        Sidetone = 20,
        Speed = 21,
        BufferedSpeed = 22,
        Weighting = 23,
        PotMin = 24,
        PotWpmRange = 25,
        PotRange = 26,
        PauseState = 27,
        PinConfig = 28,
        Hscw = 29,
        Farnsworth = 30,
        FirstExtension = 31,
        KeyCompensation = 32,
        PaddleSwitchpoint = 33,
        SoftPaddle = 34,
        PointerCmd = 35,
        DitTime = 36,
        Ratio = 37,
    };

    explicit WinKey(QObject *parent = nullptr);
    ~WinKey() override;

    // The Winkey virtual port (a VSerial); replies and echoes go back to it.
    void setPort(QIODevice *port);
    void start();
    void stop();
    bool isRunning() const { return m_timerId.load() != 0; }

    bool pttOutput() const { return m_pttOut.load(std::memory_order_relaxed); }
    bool keyOutput() const { return m_keyOut.load(std::memory_order_relaxed); }
    bool takeActivity() { return m_activity.exchange(false); }
    bool isBusy() const { return m_busy.load(); }

    // Host bytes as if they had come from the port.
    void hostData(const QByteArray &bytes);
    Params parameters() const;
    int bufferedCount() const;
    quint8 statusByte() const;
    bool calibrationPending() const { return m_calibrationPending; }

    // The parameter block as stored in the settings.
    static QString paramsToText(const Params &params);

public slots:
    void dataArrived();
    void sendChar();

private:
    struct Times
    {
        int ditMark = 0;
        int space = 0;
        int dahMark = 0;
        int gap = 0;
    };

    static void timerProc(quint32 id, quint32 msg, quintptr user, quintptr, quintptr);

    void decodeWork();
    int decodeOne(const QByteArray &work);
    int decodeAdmin(const QByteArray &work);
    void reply(quint8 byte);
    void writeToHost(const QByteArray &bytes);
    void restoreParams();
    void saveParams();

    // Engine, called with m_mutex held.
    bool countOne();
    bool fetchNext(int *echo);
    bool runBuffered(int *consumed);
    Times elementTimes() const;
    void endTransmission();
    void clearSchedule();

    quint8 param(int at) const { return m_params[size_t(at)]; }
    void setParam(int at, quint8 v) { m_params[size_t(at)] = v; }
    quint16 param16(int at) const;
    void setParam16(int at, quint16 v);
    quint32 param32(int at) const;
    void setParam32(int at, quint32 v);
    void setDitFromSpeed(int wpm);

    // Guards the character buffer, the parameter block and the schedule
    // between the GUI thread and the engine.
    mutable std::mutex m_mutex;
    QByteArray m_buffer;
    quint16 m_leadIn = 0;
    std::array<quint16, kElements> m_marks {};
    std::array<quint16, kElements> m_spaces {};
    quint32 m_tail = 0;
    quint16 m_elementCount = 0;
    std::atomic<quint32> m_timerId { 0 };
    Params m_params {};
    bool m_firstElement = true;
    bool m_priorityRaised = false;
    bool m_calibrationPending = false;
    bool m_pttEngaged = false;
    std::atomic<bool> m_busy { false };
    bool m_echoback = false;
    bool m_mergePending = false;
    QPointer<QIODevice> m_port;
    std::atomic<bool> m_pttOut { false };
    std::atomic<bool> m_keyOut { false };
    std::atomic<bool> m_activity { false };

    // Host bytes of a command still waiting for its parameters (GUI thread).
    QByteArray m_work;
};
