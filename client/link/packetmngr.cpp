#include "client/link/packetmngr.h"

#include <QDebug>

#include <algorithm>

namespace morvex {

PacketMngr::PacketMngr(QObject *parent)
    : QObject(parent)
{
}

void PacketMngr::registerPacket(AbstractPacket *packet)
{
    if (!packet || m_packets.contains(packet))
        return;
    m_packets.append(packet);
    connect(packet, &AbstractPacket::changedData, this, &PacketMngr::changedData, Qt::QueuedConnection);
    if (m_packets.size() > 1) {
        std::stable_sort(m_packets.begin(), m_packets.end(),
            [](const AbstractPacket *a, const AbstractPacket *b) { return *a < *b; });
    }
}

QByteArray PacketMngr::buildPackets()
{
    QByteArray batch;
    qint32 remaining = m_budget;
    for (AbstractPacket *p : qAsConst(m_packets)) {
        qint32 used = 0;
        const QByteArray frames = p->create(remaining, &used);
        batch.append(frames);
        remaining -= used;
        if (remaining <= 0)
            break;
    }
    if (batch.size() > kBigBatch)
        qDebug() << "Packet too big";
    return batch;
}

void PacketMngr::addData(const QByteArray &data)
{
    m_buffer.append(data);
}

void PacketMngr::parcePacket()
{
    while (m_buffer.size() >= kPacketHeaderSize) {
        const PacketHeader head = readPacketHeader(m_buffer.constData());
        const int frameSize = kPacketHeaderSize + int(head.length);
        if (m_buffer.size() < frameSize)
            return;

        if (!frameChecksumOk(m_buffer.constData(), frameSize)) {
            qWarning() << "void PacketMngr::parcePacket()"
                       << "Error CRC"
                       << "phead->type=" << int(head.type);
            // A bad frame blocks the stream; only a large backlog clears it.
            if (m_buffer.size() > kDiscardAbove)
                m_buffer.clear();
            return;
        }

        // Copy the frame out: a handler may feed the manager again while we dispatch.
        const QByteArray payload = m_buffer.mid(kPacketHeaderSize, head.length);
        m_buffer.remove(0, frameSize);

        auto it = std::find_if(m_packets.cbegin(), m_packets.cend(),
            [&](const AbstractPacket *p) { return p->type() == head.type; });
        if (it != m_packets.cend()) {
            (*it)->setHeader(head);
            (*it)->addData(payload.constData(), payload.size());
        } else {
            qWarning() << "void PacketMngr::parcePacket()"
                       << "Unknown type of packet";
        }
    }
}

void PacketMngr::resetItems()
{
    for (AbstractPacket *p : qAsConst(m_packets))
        p->reset();
}

} // namespace morvex
