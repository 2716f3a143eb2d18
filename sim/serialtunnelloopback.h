#pragma once

#include "sim/serialtunneldevice.h"

// A loop-back plug on the box's physical port: every byte comes straight back.
class SerialTunnelLoopback final : public SerialTunnelDevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialTunnelLoopback)

public:
    explicit SerialTunnelLoopback(QObject *parent = nullptr);

    void input(const QByteArray &bytes) override;
};
