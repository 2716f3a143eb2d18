#pragma once

#include <QString>
#include <QThread>
#include <QVector>

#include <mutex>

class QIODevice;
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

    void startStream(const QString &host, quint16 port, qint32 sampleRate);
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
    void statistics(QVector<quint32> stats);

public slots:
    bool stop();

protected:
    void run() override;

private:
    bool isStarted() const;

    QString m_host;
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
