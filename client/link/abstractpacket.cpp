#include "client/link/abstractpacket.h"

namespace morvex {

AbstractPacket::AbstractPacket(qint32 type, QObject *parent)
    : QObject(parent)
    , m_type(type)
{
}

bool AbstractPacket::takeActivity()
{
    const bool was = m_activity;
    m_activity = false;
    return was;
}

} // namespace morvex
