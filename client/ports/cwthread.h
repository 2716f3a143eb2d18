#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QThread>

#include <mutex>

namespace morvex {

class PttCwSerial;
class VSerial;
class WinKey;

// The keying thread: owns the sampler and its socket while it runs.
class CwThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CwThread)

public:
    explicit CwThread(QObject *parent = nullptr);
    ~CwThread() override;

    void setDestination(const QHostAddress &address, int port);
    void startKeying(VSerial *device, WinKey *winKey);
    void stopKeying();

    // CW activity of the current sampler; false while there is none.
    bool takeCwActivity();
    bool hasSampler();
    // The sampler runs at its idle period (nothing keyed for a while).
    bool samplerIdle();

signals:
    void changedRTS(bool state);
    // Each record sent; forwarded only to receivers connected before
    // startKeying().
    void packetFilled(QByteArray data);
    void pttStateChanged(bool state);
    void pttSendStateChange(bool state);
    void txTimeoutChanged(int ms);
    void pttTimedOut(int source);

public slots:
    // Each is kept for the samplers started later, so a restart (a settings
    // apply) keys on with the same permission, forced PTT and time-out.
    void setPttState(bool state);
    void setPttSendState(bool state);
    void setTxTimeout(int ms);

protected:
    void run() override;

private:
    VSerial *m_device = nullptr;
    WinKey *m_winKey = nullptr;
    QHostAddress m_address;
    int m_port = 8765;
    PttCwSerial *m_sampler = nullptr;
    bool m_started = false;
    bool m_finished = false;
    bool m_pttState = false;
    bool m_sendState = false;
    int m_txTimeoutMs = 0;
    // A standard mutex, so ThreadSanitizer can follow the hand-over.
    std::mutex m_mutex;
};

} // namespace morvex
