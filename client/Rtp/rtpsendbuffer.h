#pragma once

#include <QByteArray>
#include <QIODevice>

#include <mutex>

// Transmit audio on its way from a capture callback to the sender. The
// callback writes, the streaming thread reads; one mutex covers both.
class RtpSendBuffer final : public QIODevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtpSendBuffer)

public:
    // A capture callback that runs on while nothing reads must not grow the
    // FIFO without end; beyond this the oldest audio goes.
    static constexpr int kMaxFill = 1 << 20;

    explicit RtpSendBuffer(QObject *parent = nullptr);

    bool isSequential() const override { return true; }
    bool reset() override;
    qint64 bytesAvailable() const override;

    // Public so the sender can take audio without the QIODevice layer, whose
    // own bookkeeping is not meant for two threads.
    qint64 readData(char *data, qint64 maxlen) override;
    qint64 writeData(const char *data, qint64 len) override;

private:
    mutable std::mutex m_mutex;
    QByteArray m_fifo;
};
