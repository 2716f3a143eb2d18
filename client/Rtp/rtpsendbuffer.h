#pragma once

#include <QIODevice>

#include <atomic>
#include <mutex>
#include <vector>

namespace morvex {

// Transmit audio on its way from a capture callback to the sender. The
// callback writes, the streaming thread reads; one mutex covers both, held
// only for a bounded copy. The FIFO is a ring of fixed size allocated up
// front, so a write never allocates and never moves what is queued.
class RtpSendBuffer final : public QIODevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtpSendBuffer)

public:
    // A capture callback that runs on while nothing reads must not grow the
    // FIFO without end; beyond this the oldest audio goes. The sender keeps
    // at most half a second anyway: this is over a second of mono 16-bit
    // audio at 48000 Hz, five at the box's 12000 Hz.
    static constexpr int kMaxFill = 1 << 17;

    explicit RtpSendBuffer(QObject *parent = nullptr);

    bool isSequential() const override { return true; }
    bool reset() override;
    qint64 bytesAvailable() const override;
    // Audio lost to the bound (or discarded) since construction.
    qint64 droppedBytes() const;
    // Drops the oldest bytes, counted as lost; returns how many went.
    qint64 discard(qint64 bytes);

    // The reader calls this before it takes the audio: the next write
    // signals audioPending() again.
    void takePending();

    // Public so the sender can take audio without the QIODevice layer, whose
    // own bookkeeping is not meant for two threads.
    qint64 readData(char *data, qint64 maxlen) override;
    qint64 writeData(const char *data, qint64 len) override;

signals:
    // Audio is waiting. Emitted in the writer's thread by the first write
    // after the reader's last takePending(), never once per write: a reader
    // that falls behind must not find an event queued for every write.
    // bytesWritten() is not emitted.
    void audioPending();

private:
    mutable std::mutex m_mutex;
    std::vector<char> m_ring;
    qint64 m_head = 0;
    qint64 m_fill = 0;
    qint64 m_dropped = 0;
    std::atomic<bool> m_pending { false };
};

} // namespace morvex
