#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace morvex {

// Fixed-delay jitter buffer core: frames ordered by delivery time on a
// playout clock, with realignment when the sender's timestamps jump.
// Times are 64-bit milliseconds, so 32-bit sender timestamps of any value and
// a clock that runs for years stay representable.
class FixedJitterBuf
{
    Q_DISABLE_COPY_MOVE(FixedJitterBuf)

public:
    using Ms = qint64;

    static constexpr Ms kDefaultValue = 200;

    enum Result {
        Delivered = 0,
        Dropped = 1,
        Conceal = 2,
        NotYet = 3,
    };

    struct Config
    {
        Ms size = 0;
        Ms resyncThreshold = 0;
    };

    // What get() and removeHead() hand to the caller.
    struct Frame
    {
        QByteArray payload;
        Ms ts = 0;
        Ms ms = 0;
        Ms delivery = 0;
    };

    explicit FixedJitterBuf(const Config &config);
    ~FixedJitterBuf();

    Result put(const QByteArray &payload, Ms ms, Ms ts, Ms now);
    Result putFirst(const QByteArray &payload, Ms ms, Ms ts, Ms now);
    // Queues a frame due before the head, while its slot is still to come
    // (now is the playout clock); Dropped when it is past or does not fit.
    // Only for a frame the caller knows was overtaken, never a step back.
    Result putBeforeHead(const QByteArray &payload, Ms ms, Ms ts, Ms now);
    Result get(Frame *frame, Ms now, Ms interpolationLength);
    Result removeHead(Frame *frame);
    void clear();

    Ms nextDue() const { return m_nextDelivery; }
    // Drops the n oldest frames; playout goes on after the last of them.
    void dropOldest(int n);
    // Moves playout on to now, dropping the frames that end by then.
    void skipTo(Ms now);
    void forceResync() { m_forceResync = true; }

    Ms size() const { return m_size; }
    Ms resyncThreshold() const { return m_resyncThreshold; }
    int count() const { return m_count; }
    bool isEmpty() const { return !m_head; }

private:
    struct Node
    {
        QByteArray payload;
        Ms ts = 0;
        Ms ms = 0;
        Ms delivery = 0;
        Node *next = nullptr;
        Node *prev = nullptr;
    };

    Result resync(const QByteArray &payload, Ms ms, Ms ts, Ms now);
    // found == nullptr puts the node at the head.
    void insertAfter(Node *found, const QByteArray &payload, Ms ms, Ms ts, Ms delivery);

    Node *m_head = nullptr;
    Node *m_tail = nullptr;
    Ms m_size = 0;
    Ms m_resyncThreshold = 0;
    Ms m_receiveBase = 0;
    Ms m_delay = 0;
    Ms m_nextDelivery = 0;
    int m_count = 0;
    bool m_forceResync = false;
};

} // namespace morvex
