#pragma once

#include <QHostAddress>
#include <QString>
#include <QThread>
#include <QVector>

#include <mutex>

class QIODevice;

namespace morvex {

class RtpClient;
class RtpServer;

// The audio streaming thread: owns the receiver and the sender, which live
// and die with each stream.
class RtpThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtpThread)

public:
    static constexpr qint32 kPacketMs = 20;

    explicit RtpThread(QObject *parent = nullptr);
    ~RtpThread() override;

    // The box's address and audio port: where transmit audio goes, and the
    // only sender whose receive audio is played.
    void startStream(const QHostAddress &host, quint16 port, qint32 sampleRate);
    // The same with the address as text; a name or bad text gives a null
    // address, which sends and accepts nothing.
    void startStream(const QString &host, quint16 port, qint32 sampleRate);
    // A new address of the box (a new look-up of its name) for the running
    // stream: handed to the receiver and the sender in their thread.
    void setDestination(const QHostAddress &host, quint16 port);
    void setTransmitMode(bool transmit);
    void setBufferedTime(qint32 ms);
    qint32 bufferedTime() const;

    QIODevice *inputBuffer();
    QIODevice *outputBuffer();
    QIODevice *outputVirtualBuffer();

    // The shared audio socket's port while the stream runs, else 0.
    quint16 localPort() const;

signals:
    void changeSendingMode(bool mode);
    void changeReceivingMode(bool mode);
    void changeBufferedTime(qint32 ms);
    void changeDestination(const QHostAddress &host, quint16 port);
    void statistics(QVector<quint32> stats);

public slots:
    bool stop();

protected:
    void run() override;

private:
    bool isStarted() const;

    QHostAddress m_host;
    quint16 m_port = 9999;
    qint32 m_sampleRate = 0;
    qint32 m_bufferedMs = 200;
    RtpServer *m_server = nullptr;
    RtpClient *m_client = nullptr;
    // A standard mutex, so thread checkers can follow the locking.
    mutable std::mutex m_mutex;
    bool m_started = false;
    bool m_finished = false;
};

} // namespace morvex
