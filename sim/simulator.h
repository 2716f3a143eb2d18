#pragma once

#include "sim/audiostream.h"
#include "sim/cmdlinkserver.h"
#include "sim/controlserver.h"
#include "sim/keyingreceiver.h"
#include "sim/permissionslots.h"
#include "sim/pttlevels.h"
#include "sim/serialtunnels.h"
#include "sim/udpport.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

struct SimOptions
{
    QHostAddress address = QHostAddress::LocalHost;
    quint16 tcpPort = 11000;
    quint16 audioPort = 11000;
    quint16 keyingPort = 8765;
    quint16 controlPort = 11100;
    QString password = QStringLiteral("brelko");
    FirmwareVersion firmware;
    int heartbeatMs = 1000;
    int loginTimeoutMs = 10000;
    int idleTimeoutMs = 10000;
    QString keyingTimeline;
    // "PASSWORD:FLAGS:WORK:PAUSE" each
    QStringList permSlots;
};

// The whole simulated box: command link, UDP ports and the control channel
// with the commands that script them.
class Simulator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Simulator)

public:
    explicit Simulator(const SimOptions &options, QObject *parent = nullptr);

    bool start(QString *error);
    // One machine-readable line with every bound port.
    QString readyLine() const;

    CmdLinkServer *link() { return &m_link; }
    ControlServer *control() { return &m_control; }
    KeyingReceiver *keyingReceiver() { return &m_keyingRx; }
    AudioStream *audioStream() { return &m_audioStream; }
    SerialTunnels *tunnels() { return &m_tunnels; }

    static QString toHex(const QByteArray &bytes);
    static bool fromHex(const QString &text, QByteArray *out);

signals:
    void quitRequested();

private:
    void addLinkCommands();

    SimOptions m_options;
    CmdLinkServer m_link;
    UdpPort m_audio;
    UdpPort m_keying;
    ControlServer m_control;
    KeyingReceiver m_keyingRx;
    PttLevels m_levels { &m_link };
    PermissionSlots m_perms { &m_link };
    AudioStream m_audioStream { &m_audio };
    SerialTunnels m_tunnels { &m_link };
};
