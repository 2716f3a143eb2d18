#include "sim/serialtunnelloopback.h"

SerialTunnelLoopback::SerialTunnelLoopback(QObject *parent)
    : SerialTunnelDevice(parent)
{
}

void SerialTunnelLoopback::input(const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        emit output(bytes);
}
