#pragma once

#include "client/link/errorspacket.h"
#include "client/link/permission.h"
#include "client/link/reconnectpolicy.h"
#include "client/rigctl/rigserver.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>

namespace morvex {

class AudioPacket;
class AudioRouting;
class Authorization;
class ClientRIF;
class CwThread;
class FirmwareCheck;
class FwVersionPacket;
class HostLookup;
class PTT;
class PacketMngr;
class PermissionClock;
class Serial;
class VSerial;
class WinKey;

// Everything that talks to the Brelko, without a widget: the connection and
// its handlers, the virtual ports and keying, when to connect again, what
// the box permits, and who holds PTT. The station controller window shows
// its state and hands it the operator's requests.
class StationSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationSession)

public:
    enum Port { Cat, PttCw, Fsk, Rs485, Winkey, PortCount };

    struct Config
    {
        QString boxName;
        quint16 cmdPort = 11000;
        quint16 streamPort = 11000;
        quint16 pttCwPort = 8765;
        QString password;
        int txBufferSteps = 0;
        int txTimeoutMs = 0;
    };

    StationSession(AudioRouting *audio, PermissionClock *clock, QObject *parent = nullptr);
    ~StationSession() override;

    ClientRIF *connection() const { return m_client; }
    PTT *pttPacket() const { return m_ptt; }
    Permission *permission() const { return m_permission; }
    Authorization *authorization() const { return m_auth; }
    AudioPacket *audioPacket() const { return m_audioPacket; }
    FirmwareCheck *firmwareCheck() const { return m_fwCheck; }
    Serial *serialHandler(Port p) const { return p <= Rs485 ? m_serials[p] : nullptr; }
    VSerial *port(Port p) const { return m_ports[p]; }
    CwThread *keying() const { return m_cw; }
    WinKey *winKey() const { return m_winKey; }
    RigServer *rigServer() const { return m_rigServer; }

    // The names chosen on the Serial ports tab, in Port order; the published
    // ports get comN links for Windows programs when wineLinks is set.
    void openPorts(const QStringList &names, bool wineLinks);
    void applyNetwork(const Config &config);
    const Config &config() const { return m_config; }
    void applyRigControl(RigServer::Config config);
    void startKeying();
    void stopKeying();

    void connectToBox();
    void stopReconnect();
    int reconnectDelay() const;
    bool isReconnectPending() const { return m_reconnect.isActive(); }
    bool isLinkUp() const { return m_linkUp; }

    // The operator's PTT (button, hot key, tone): on asks to transmit, off
    // releases. Refused without permission or while a program holds the
    // PTT/CW port; the transmit time-out applies.
    void requestPtt(bool on);
    // The same for a radio program: 0, or a negative Hamlib error when refused.
    int rigSetPtt(bool on);
    bool isPttHeld() const { return m_held; }
    // A line of the PTT/CW port keys unless the operator holds PTT.
    void setLinePtt(bool state);

    QVector<quint8> indicatorStates() const;
    // At exit: radio programs first, then the last PTT frame says off and
    // leaves before the connection closes.
    void shutdown();

    // Pure: the panel's list of granted controls.
    static QString permissionText(const Permission::Grant &grant);

signals:
    void connected(bool state, QString msg);
    // The connection state without a balloon: attempts within an outage.
    void connectionState(bool state, QString msg);
    void sendTrayMessage(QString msg);
    void linkChanged(bool up);
    void pttHeldChanged(bool held);
    // The PTT state the box reports.
    void remotePttChanged(bool on);
    void grantChanged(const Permission::Grant &grant, const QString &text);
    void portWarning(const QString &text);

public slots:
    void connectedClient();
    void disconnectedClient();
    void reasonConnectionReset(ErrorsPacket::ConnectionError err);
    void timeoutReconect();
    void permParamsChanged();
    void permTimerCompleted();

private slots:
    void boxLookedUp(int id, const QList<QHostAddress> &addresses, const QString &error);
    void transmitTimedOut();
    void linePttTimedOut(int source);
    void remotePtt();

private:
    void endAttempt(ReconnectPolicy::Outcome outcome, qint64 connectedMs, const QString &reason,
        const QString &trayText = QString());
    void useBoxAddress(const QHostAddress &address);
    void releasePtt();
    bool pttPermitted() const;

    AudioRouting *m_audio;
    PermissionClock *m_clock;
    Config m_config;
    ClientRIF *m_client;
    PacketMngr *m_mngr;
    ErrorsPacket *m_errors;
    PTT *m_ptt;
    Authorization *m_auth;
    Serial *m_serials[4]; // CAT, PTT/CW, FSK, RS-485
    AudioPacket *m_audioPacket;
    Permission *m_permission;
    FwVersionPacket *m_fwVersion;
    FirmwareCheck *m_fwCheck;
    HostLookup *m_lookup;
    VSerial *m_ports[PortCount];
    WinKey *m_winKey;
    CwThread *m_cw;
    RigServer *m_rigServer;

    ErrorsPacket::ConnectionError m_resetReason = ErrorsPacket::NoError;
    QTimer m_reconnect;
    ReconnectPolicy m_policy;
    QElapsedTimer m_connectedSince;
    // A connection this old ends the back-off.
    QTimer m_healthyTimer;
    // After failed attempts, "connected" is announced once the link has held.
    QTimer m_stableTimer;
    // True from the first disconnection until the link is back for good:
    // one balloon per outage, not one per attempt.
    bool m_outage = false;
    // The link is being restarted on purpose (a settings apply), not lost.
    bool m_restarting = false;
    bool m_linkUp = false;
    QTimer m_transmitTimer;
    // The operator or a radio program holds PTT.
    bool m_held = false;
    // ... and it is a radio program.
    bool m_rigPtt = false;
    bool m_linePtt = false;
};

} // namespace morvex
