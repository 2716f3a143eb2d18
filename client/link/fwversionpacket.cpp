#include "client/link/fwversionpacket.h"

#include <QtEndian>

namespace morvex {

FwVersionPacket::FwVersionPacket(qint32 type, QObject *parent)
    : AbstractPacket(type, parent)
{
}

QByteArray FwVersionPacket::create(qint32, qint32 *usedSize)
{
    if (usedSize)
        *usedSize = 0;
    return QByteArray();
}

void FwVersionPacket::addData(const QByteArray &data)
{
    addData(data.constData(), data.size());
}

void FwVersionPacket::addData(const char *data, int size)
{
    if (!data || size < kPayloadSize)
        return;
    emit updateVersion(qFromLittleEndian<quint32>(data), qFromLittleEndian<quint32>(data + 4),
        qFromLittleEndian<quint32>(data + 8));
}

void FwVersionPacket::setHeader(PacketHeader) { }

void FwVersionPacket::reset() { }

} // namespace morvex
