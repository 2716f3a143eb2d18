#pragma once

#include "client/ports/morseschedule.h"
#include "client/ports/winkeydecoder.h"

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <atomic>
#include <mutex>

namespace morvex {

// WinKey keyer on the Winkey virtual port: decodes the host protocol in the
// GUI thread and keys the buffered text with a 1 ms engine on the timer
// thread. The PTT and key outputs are read by the keying sampler. Its
// parameter block comes in through setParameters() and goes out through
// parametersChanged(); storing it is the owner's business.
class WinKey final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WinKey)

public:
    static constexpr int kParamSize = WinKeyDecoder::kParamSize;
    static constexpr int kElements = MorseSchedule::kElements;
    // Engine period with nothing to key: host bytes wake it at once.
    static constexpr int kIdlePeriodMs = 64;
    using Params = WinKeyDecoder::Params;

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
    // True while the engine runs at its idle period.
    bool engineIdle() const { return m_engineIdle.load(); }

    // Host bytes as if they had come from the port.
    void hostData(const QByteArray &bytes);
    Params parameters() const;
    // A stored block of kParamSize bytes; any other size is refused with a
    // warning and the block stays as it was.
    void setParameters(const QByteArray &block);
    int bufferedCount() const;
    quint8 statusByte() const;
    bool calibrationPending() const { return m_host.calibrationPending; }

    // The block as stored text: two lower-case hex digits and a space per
    // byte. Reading back keeps the parts that are hex bytes.
    static QString blockToText(const QByteArray &block);
    static QByteArray blockFromText(const QString &text);
    static QByteArray toBlock(const Params &params);

signals:
    // The host changed the parameter block (emitted after every command).
    void parametersChanged(const QByteArray &block);
    // Host bytes woke the idle engine; emitted on the GUI thread before the
    // engine's next millisecond (connect directly to wake a sampler too).
    void engineWoken();

public slots:
    void dataArrived();
    void sendChar();

private:
    static void timerProc(quint32 id, quint32 msg, quintptr user, quintptr, quintptr);

    void decodeWork();
    void reply(quint8 byte);
    void writeToHost(const QByteArray &bytes);

    // Engine, called with m_mutex held.
    bool countOne();
    bool fetchNext(int *echo);
    MorseSchedule::Timing timing() const;
    void endTransmission();
    void clearSchedule();
    bool nothingToKey() const;
    void wakeEngine();

    quint8 param(int at) const { return m_host.params[size_t(at)]; }

    // Guards the host state (character buffer, parameter block) and the
    // schedule between the GUI thread and the engine.
    mutable std::mutex m_mutex;
    WinKeyDecoder::State m_host;
    quint16 m_leadIn = 0;
    std::array<quint16, kElements> m_marks {};
    std::array<quint16, kElements> m_spaces {};
    quint32 m_tail = 0;
    quint16 m_elementCount = 0;
    std::atomic<quint32> m_timerId { 0 };
    bool m_firstElement = true;
    bool m_priorityRaised = false;
    bool m_pttEngaged = false;
    std::atomic<bool> m_busy { false };
    bool m_mergePending = false;
    QPointer<QIODevice> m_port;
    std::atomic<bool> m_pttOut { false };
    std::atomic<bool> m_keyOut { false };
    std::atomic<bool> m_activity { false };
    std::atomic<bool> m_engineIdle { false };

    // Host bytes of a command still waiting for its parameters (GUI thread).
    QByteArray m_work;
};

} // namespace morvex
