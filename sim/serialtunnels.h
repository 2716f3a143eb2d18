#pragma once

#include "sim/cmdlinkserver.h"
#include "sim/controlserver.h"
#include "sim/radiomodel.h"
#include "sim/serialtunnel.h"
#include "sim/serialtunnelloopback.h"

#include <QObject>

// The box's three tunnelled ports: the transceiver's CAT port behind type 3,
// loop-back plugs on the FSK (4) and RS-485 (5) ports; and the control
// commands "tunnel" and "radio".
class SerialTunnels final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialTunnels)

public:
    explicit SerialTunnels(CmdLinkServer *link, QObject *parent = nullptr);

    void addCommands(ControlServer *control);

    RadioModel *radio() { return &m_radio; }
    SerialTunnel *cat() { return &m_cat; }
    SerialTunnel *fsk() { return &m_fsk; }
    SerialTunnel *rs485() { return &m_rs485; }
    // By name (cat, fsk, rs485) or packet type; null when unknown.
    SerialTunnel *find(const QString &nameOrType);

private:
    RadioModel m_radio;
    SerialTunnelLoopback m_fskLoop;
    SerialTunnelLoopback m_rs485Loop;
    SerialTunnel m_cat;
    SerialTunnel m_fsk;
    SerialTunnel m_rs485;
};
