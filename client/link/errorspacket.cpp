#include "client/link/errorspacket.h"

namespace morvex {

ErrorsPacket::ErrorsPacket(qint32 type, QObject *parent)
    : AbstractPacket(type, parent)
{
    // Also by the name the signal is declared with inside the namespace.
    qRegisterMetaType<ErrorsPacket::ConnectionError>("ErrorsPacket::ConnectionError");
}

QByteArray ErrorsPacket::create(qint32, qint32 *usedSize)
{
    if (usedSize)
        *usedSize = 0;
    return QByteArray();
}

void ErrorsPacket::addData(const QByteArray &data)
{
    addData(data.constData(), data.size());
}

void ErrorsPacket::addData(const char *, int) { }

void ErrorsPacket::setHeader(PacketHeader header)
{
    emit error(static_cast<ConnectionError>(header.value));
}

void ErrorsPacket::reset() { }

} // namespace morvex
