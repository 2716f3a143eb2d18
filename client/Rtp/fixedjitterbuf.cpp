#include "client/Rtp/fixedjitterbuf.h"

namespace morvex {

FixedJitterBuf::FixedJitterBuf(const Config &config)
    : m_size(config.size < 1 ? kDefaultValue : config.size)
    , m_resyncThreshold(config.resyncThreshold < 1 ? kDefaultValue : config.resyncThreshold)
{
    m_delay = m_size;
}

FixedJitterBuf::~FixedJitterBuf()
{
    clear();
}

FixedJitterBuf::Result FixedJitterBuf::put(const QByteArray &payload, Ms ms, Ms ts, Ms now)
{
    const Ms delivery = m_receiveBase + m_delay + ts;
    if (delivery < m_nextDelivery || delivery > m_nextDelivery + m_delay + m_resyncThreshold)
        return resync(payload, ms, ts, now);

    Node *found = m_tail;
    while (found && found->delivery > delivery)
        found = found->prev;

    if (found
        && (delivery == found->delivery || delivery < found->delivery + found->ms
            || (found->next && delivery + ms > found->next->delivery))) {
        return resync(payload, ms, ts, now);
    }

    m_forceResync = false;
    insertAfter(found, payload, ms, ts, delivery);
    return Delivered;
}

void FixedJitterBuf::insertAfter(Node *found, const QByteArray &payload, Ms ms, Ms ts, Ms delivery)
{
    Node *node = new Node;
    ++m_count;
    node->payload = payload;
    node->ts = ts;
    node->ms = ms;
    node->delivery = delivery;
    if (found) {
        node->prev = found;
        node->next = found->next;
        if (found->next)
            found->next->prev = node;
        else
            m_tail = node;
        found->next = node;
    } else {
        node->next = m_head;
        if (m_head)
            m_head->prev = node;
        else
            m_tail = node;
        m_head = node;
    }
}

FixedJitterBuf::Result FixedJitterBuf::putBeforeHead(const QByteArray &payload, Ms ms, Ms ts, Ms now)
{
    const Ms delivery = m_receiveBase + m_delay + ts;
    if (!m_head || delivery < now || delivery + ms > m_head->delivery)
        return Dropped;
    m_nextDelivery = qMin(m_nextDelivery, delivery);
    insertAfter(nullptr, payload, ms, ts, delivery);
    return Delivered;
}

FixedJitterBuf::Result FixedJitterBuf::resync(const QByteArray &payload, Ms ms, Ms ts, Ms now)
{
    if (!m_head)
        return putFirst(payload, ms, ts, now);

    const Ms offset = ts - m_tail->ts - m_tail->ms;
    if (!m_forceResync && -m_resyncThreshold < offset && offset < m_resyncThreshold)
        return Dropped;

    // Shift the queued frames' timestamps so the new frame lands right behind
    // the tail; their delivery times stay. A second pass then sees offset 0.
    m_forceResync = false;
    m_receiveBase -= offset;
    for (Node *n = m_head; n; n = n->next)
        n->ts += offset;
    return put(payload, ms, ts, now);
}

FixedJitterBuf::Result FixedJitterBuf::putFirst(const QByteArray &payload, Ms ms, Ms ts, Ms now)
{
    m_receiveBase = now - ts;
    m_nextDelivery = now + m_delay;
    return put(payload, ms, ts, now);
}

FixedJitterBuf::Result FixedJitterBuf::get(Frame *frame, Ms now, Ms interpolationLength)
{
    if (now < m_nextDelivery)
        return NotYet;
    if (!m_head) {
        m_nextDelivery += interpolationLength;
        return Conceal;
    }
    if (now > m_head->delivery + m_head->ms) {
        removeHead(frame);
        return Dropped;
    }
    if (now < m_head->delivery) {
        m_nextDelivery += interpolationLength;
        return Conceal;
    }
    removeHead(frame);
    return Delivered;
}

FixedJitterBuf::Result FixedJitterBuf::removeHead(Frame *frame)
{
    Node *node = m_head;
    if (!node)
        return NotYet;
    m_head = node->next;
    if (m_head)
        m_head->prev = nullptr;
    else
        m_tail = nullptr;
    --m_count;
    m_nextDelivery = node->delivery + node->ms;
    if (frame) {
        frame->payload = std::move(node->payload);
        frame->ts = node->ts;
        frame->ms = node->ms;
        frame->delivery = node->delivery;
    }
    delete node;
    return Delivered;
}

void FixedJitterBuf::dropOldest(int n)
{
    for (; n > 0 && m_head; --n)
        removeHead(nullptr);
}

void FixedJitterBuf::skipTo(Ms now)
{
    while (m_head && m_head->delivery + m_head->ms <= now)
        removeHead(nullptr);
    if (m_nextDelivery < now)
        m_nextDelivery = now;
}

void FixedJitterBuf::clear()
{
    while (m_head) {
        Node *node = m_head;
        m_head = node->next;
        delete node;
    }
    m_tail = nullptr;
    m_count = 0;
}

} // namespace morvex
