#include "client/link/ptt.h"

namespace morvex {

PTT::PTT(qint32 type, QObject *parent)
    : AbstractPacket(type, parent)
{
}

void PTT::setPTT(bool state)
{
    if (state == m_local)
        return;
    m_local = state;
    emit changedData();
}

QByteArray PTT::create(qint32 maxSize, qint32 *usedSize)
{
    // Sent in every batch, so the Brelko hears our state with each heartbeat.
    if (maxSize < kPacketHeaderSize) {
        if (usedSize)
            *usedSize = 0;
        return QByteArray();
    }
    const QByteArray frame = makeFrame(quint8(type()), m_local ? 1u : 0u);
    if (usedSize)
        *usedSize = frame.size();
    return frame;
}

void PTT::addData(const QByteArray &data)
{
    addData(data.constData(), data.size());
}

void PTT::addData(const char *data, int size)
{
    if (size <= 0 || !data)
        return;
    const bool remote = data[0] != 0;
    if (remote == m_remote)
        return;
    m_remote = remote;
    emit readyRead();
}

void PTT::setHeader(PacketHeader) { }

void PTT::reset()
{
    m_remote = false;
}

} // namespace morvex
