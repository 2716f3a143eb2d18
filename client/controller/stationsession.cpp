#include "client/controller/stationsession.h"

#include "client/controller/audiorouting.h"
#include "client/link/audiopacket.h"
#include "client/link/authorization.h"
#include "client/link/clientrif.h"
#include "client/link/firmwarecheck.h"
#include "client/link/fwversionpacket.h"
#include "client/link/hostlookup.h"
#include "client/link/packetmngr.h"
#include "client/link/permissionclock.h"
#include "client/link/ptt.h"
#include "client/link/serial.h"
#include "client/ports/cwthread.h"
#include "client/ports/pttcwserial.h"
#include "client/ports/vserial.h"
#include "client/ports/winkey.h"
#include "common/settings.h"
#include "platform/vsportbus.h"
#include "platform/winelinks.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMap>

using namespace brelko;

namespace morvex {

namespace {
// The operator reads these in the controller window's words.
QString text(const char *source)
{
    return QCoreApplication::translate("morvex::Window", source);
}
} // namespace

StationSession::StationSession(AudioRouting *audio, PermissionClock *clock, QObject *parent)
    : QObject(parent)
    , m_audio(audio)
    , m_clock(clock)
    , m_client(new ClientRIF(this))
    , m_mngr(new PacketMngr(this))
    , m_errors(new ErrorsPacket(PacketType::Errors, this))
    , m_ptt(new PTT(PacketType::Ptt, this))
    , m_auth(new Authorization(PacketType::Authorization, this))
    , m_serials { new Serial(PacketType::SerialCat, this), new Serial(PacketType::SerialPttCw, this),
        new Serial(PacketType::SerialFsk, this), new Serial(PacketType::SerialRs485, this) }
    , m_audioPacket(new AudioPacket(PacketType::Audio, this))
    , m_permission(new Permission(PacketType::Permission, this))
    , m_fwVersion(new FwVersionPacket(PacketType::FwVersion, this))
    , m_fwCheck(new FirmwareCheck(this))
    , m_lookup(new HostLookup(this))
    , m_ports { new VSerial(this), new VSerial(this), new VSerial(this), new VSerial(this),
        new VSerial(this) }
    , m_winKey(new WinKey(this))
    , m_cw(new CwThread(this))
    , m_rigServer(new RigServer(this))
{
    connect(m_client, &ClientRIF::connected, this, &StationSession::connectedClient);
    connect(m_client, &ClientRIF::disconnected, this, &StationSession::disconnectedClient);
    connect(m_ptt, &PTT::readyRead, this, &StationSession::remotePtt);
    connect(m_errors, &ErrorsPacket::error, this, &StationSession::reasonConnectionReset);
    connect(&m_reconnect, &QTimer::timeout, this, &StationSession::timeoutReconect);
    m_reconnect.setSingleShot(true);
    // A coarse timer may fire 5 % early: the back-off steps are promises.
    m_reconnect.setTimerType(Qt::PreciseTimer);
    m_healthyTimer.setSingleShot(true);
    m_stableTimer.setSingleShot(true);
    m_transmitTimer.setSingleShot(true);
    connect(&m_healthyTimer, &QTimer::timeout, this, [this] { m_policy.reset(); });
    connect(&m_stableTimer, &QTimer::timeout, this, [this] {
        if (!m_client->isConnected())
            return;
        m_outage = false;
        emit connected(true, m_client->serverAddress());
    });
    connect(&m_transmitTimer, &QTimer::timeout, this, &StationSession::transmitTimedOut);
    connect(m_cw, &CwThread::pttTimedOut, this, &StationSession::linePttTimedOut);
    connect(m_cw, &CwThread::changedRTS, this, &StationSession::setLinePtt);
    connect(m_lookup, &HostLookup::finished, this, &StationSession::boxLookedUp);
    connect(m_permission, &Permission::changedState, this, &StationSession::permParamsChanged);
    connect(m_fwVersion, &FwVersionPacket::updateVersion, m_fwCheck, &FirmwareCheck::checkFwVersion);
    connect(m_fwCheck, &FirmwareCheck::sendTrayMessage, this, &StationSession::sendTrayMessage);

    m_mngr->registerPacket(m_auth);
    m_mngr->registerPacket(m_errors);
    m_mngr->registerPacket(m_ptt);
    m_mngr->registerPacket(m_serials[Cat]);
    m_mngr->registerPacket(m_serials[Fsk]);
    m_mngr->registerPacket(m_serials[Rs485]);
    m_mngr->registerPacket(m_audioPacket);
    m_mngr->registerPacket(m_permission);
    m_mngr->registerPacket(m_fwVersion);
    for (int p = Cat; p <= Rs485; ++p)
        m_serials[p]->setPort(m_ports[p]);
    m_winKey->setPort(m_ports[Winkey]);
    // The keyer's parameters survive a restart in the settings.
    const QString stored
        = Settings::instance()->value(Settings::WinKeyParameters, Settings::WinKey).toString();
    if (!stored.isEmpty())
        m_winKey->setParameters(WinKey::blockFromText(stored));
    connect(m_winKey, &WinKey::parametersChanged, this, [](const QByteArray &block) {
        (*Settings::instance())(Settings::WinKeyParameters, Settings::WinKey) = WinKey::blockToText(block);
    });
    m_client->setPacketManager(m_mngr);

    m_rigServer->setPttControl(
        [this](bool on) { return rigSetPtt(on); }, [this] { return m_ptt->remotePtt(); });
}

StationSession::~StationSession()
{
    shutdown();
}

void StationSession::shutdown()
{
    // Radio programs go first, while what they key still exists.
    delete m_rigServer;
    m_rigServer = nullptr;
    // Never leave the transmitter keyed: the last PTT frame says off.
    m_ptt->setPTT(false);
    if (m_client->isConnected()) {
        disconnect(m_client, nullptr, this, nullptr);
        m_client->sendPackets();
        m_client->socket()->waitForBytesWritten(1000);
        m_client->disconnectFromServer();
    }
    m_reconnect.stop();
}

void StationSession::openPorts(const QStringList &names, bool wineLinks)
{
    static const char *const attachMsg[PortCount]
        = { QT_TRANSLATE_NOOP("morvex::Window", "Can't attach to CAT "),
              QT_TRANSLATE_NOOP("morvex::Window", "Can't attach to PTT/CW "),
              QT_TRANSLATE_NOOP("morvex::Window", "Can't attach to FSK "),
              QT_TRANSLATE_NOOP("morvex::Window", "Can't attach to RS-485 "),
              QT_TRANSLATE_NOOP("morvex::Window", "Can't attach to winkey ") };
    static const char *const openMsg[PortCount] = { QT_TRANSLATE_NOOP("morvex::Window", "Can't open CAT "),
        QT_TRANSLATE_NOOP("morvex::Window", "Can't open PTT/CW "),
        QT_TRANSLATE_NOOP("morvex::Window", "Can't open FSK "),
        QT_TRANSLATE_NOOP("morvex::Window", "Can't open RS-485 "),
        QT_TRANSLATE_NOOP("morvex::Window", "Can't open Winkey ") };
    auto wanted = [&](int p) { return p < names.size() ? names.at(p) : QStringLiteral("None"); };
    // "Reset all ports" empties the bus behind our ports' backs: one whose
    // name is no longer there is dropped here and made again below, even
    // though the device still carries the name (deletePort keeps it).
    QStringList onBus;
    const int count = VSerial::countVirtualPorts();
    for (int i = 0; i < count; ++i)
        onBus << VSerial::enumVirtualPort(i);
    bool dropped[PortCount] = {};
    for (int p = 0; p < PortCount; ++p) {
        const QString current = m_ports[p]->portName();
        if (current != wanted(p) || (!current.isEmpty() && !onBus.contains(current))) {
            m_ports[p]->close();
            m_ports[p]->deletePort();
            dropped[p] = true;
        }
    }
    // Port name -> where it is published, for the ports in place afterwards.
    QMap<QString, QString> published;
    for (int p = 0; p < PortCount; ++p) {
        const QString name = wanted(p);
        if (name == QLatin1String("None") || name.isEmpty())
            continue;
        if (dropped[p] || m_ports[p]->portName() != name) {
            if (!m_ports[p]->createPort(name) && !m_ports[p]->attachPort(name)) {
                emit portWarning(text(attachMsg[p]) + name);
                continue;
            }
        }
        const QString canonical = VSPortBus::canonicalName(name);
        if (!canonical.isEmpty())
            published.insert(canonical, VSPortBus::directory() + QLatin1Char('/') + canonical);
        if (m_ports[p]->isOpen())
            continue;
        const QIODevice::OpenMode mode = p == PttCw ? QIODevice::ReadOnly : QIODevice::ReadWrite;
        if (!m_ports[p]->open(mode))
            emit portWarning(text(openMsg[p]) + name);
    }

    // Windows programs under Wine see the published ports as comN. The links
    // follow the ports and go with the session (the owner is its child).
    auto *wine = findChild<WineLinks *>(QString(), Qt::FindDirectChildrenOnly);
    if (!wine)
        wine = new WineLinks(this);
    if (!wineLinks)
        published.clear();
    wine->update(WineLinks::defaultPrefix(), published);
}

void StationSession::applyNetwork(const Config &config)
{
    m_config = config;
    m_config.boxName = config.boxName.trimmed();
    m_auth->setPassword(config.password);
    m_audioPacket->setTxBuffer(config.txBufferSteps);
    m_cw->setTxTimeout(config.txTimeoutMs);
    // A new address starts a new series of attempts.
    m_policy.reset();
}

void StationSession::applyRigControl(RigServer::Config config)
{
    // The radio is reached through our own CAT port, as any local program would.
    const QString canonical = VSPortBus::canonicalName(m_ports[Cat]->portName());
    if (!canonical.isEmpty())
        config.rig.path = VSPortBus::directory() + QLatin1Char('/') + canonical;
    if (config == m_rigServer->config() && (m_rigServer->isListening() || !config.enabled))
        return;
    m_rigServer->start(config);
}

void StationSession::startKeying()
{
    const bool winkeyOpen = m_ports[Winkey]->isOpen();
    m_cw->startKeying(m_ports[PttCw], winkeyOpen ? m_winKey : nullptr);
    if (winkeyOpen)
        m_winKey->start();
}

void StationSession::stopKeying()
{
    m_cw->stopKeying();
    m_winKey->stop();
}

void StationSession::connectToBox()
{
    m_reconnect.stop();
    m_lookup->abort();
    const QHostAddress literal(m_config.boxName);
    if (!literal.isNull()) {
        useBoxAddress(literal);
        return;
    }
    // Looked up at every attempt: a dynamic DNS name moves.
    qDebug().noquote() << "Looking up" << m_config.boxName;
    m_lookup->lookup(m_config.boxName);
}

void StationSession::stopReconnect()
{
    m_reconnect.stop();
}

int StationSession::reconnectDelay() const
{
    return m_reconnect.isActive() ? m_reconnect.remainingTime() : -1;
}

void StationSession::boxLookedUp(int id, const QList<QHostAddress> &addresses, const QString &error)
{
    Q_UNUSED(id)
    // The box speaks IPv4; a name with both kinds (localhost) gives that first.
    if (addresses.isEmpty()) {
        qWarning().noquote() << "Host" << m_config.boxName << "not found:" << error;
        endAttempt(ReconnectPolicy::Outcome::Unreachable, -1, text("host not found"));
        return;
    }
    qDebug().noquote() << "Host" << m_config.boxName << "is" << addresses.first().toString();
    useBoxAddress(addresses.first());
}

void StationSession::useBoxAddress(const QHostAddress &address)
{
    // One address for the command link, the audio and the keying alike.
    m_client->setServer(address, m_config.cmdPort);
    m_audio->setDestination(address, m_config.streamPort);
    m_cw->setDestination(address, m_config.pttCwPort);
    m_restarting = m_client->state() != QAbstractSocket::UnconnectedState;
    m_client->connectToServer();
}

void StationSession::connectedClient()
{
    m_audio->setTransmitMode(m_ptt->remotePtt());
    m_audio->setTransmitting(m_ptt->remotePtt());
    startKeying();
    m_linkUp = true;
    emit linkChanged(true);
    m_connectedSince.start();
    m_healthyTimer.start(ReconnectPolicy::kHealthyMs);
    if (!m_outage || m_policy.failures() == 0) {
        m_outage = false;
        emit connected(true, m_client->serverAddress());
    } else {
        emit connectionState(true, m_client->serverAddress());
        m_stableTimer.start(ReconnectPolicy::kEarlyDropMs);
    }
}

void StationSession::reasonConnectionReset(ErrorsPacket::ConnectionError err)
{
    m_resetReason = err;
}

void StationSession::disconnectedClient()
{
    qDebug() << "disconnected";
    m_linkUp = false;
    releasePtt();
    m_ptt->setPTT(false);
    m_linePtt = false;
    m_audio->setInput(paudio::AudioType(0));
    m_audio->setTransmitMode(true);
    stopKeying();
    // The next session keys only once its own permission frame allows it.
    m_cw->setPttSendState(false);
    emit linkChanged(false);

    qint64 connectedMs = m_connectedSince.isValid() ? m_connectedSince.elapsed() : -1;
    if (m_restarting) {
        // Our own restart of a working link: back at once, not a failure.
        m_restarting = false;
        connectedMs = qMax<qint64>(connectedMs, ReconnectPolicy::kEarlyDropMs);
    }
    m_connectedSince.invalidate();
    m_healthyTimer.stop();
    m_stableTimer.stop();

    const ReconnectPolicy::Ending end = ReconnectPolicy::ending(
        m_resetReason, m_client->lastError(), !m_clock->isEmpty() && !m_clock->isWorkTimer(), connectedMs);
    m_resetReason = ErrorsPacket::NoError;
    switch (end.outcome) {
    case ReconnectPolicy::Outcome::SecondClient:
        endAttempt(end.outcome, connectedMs, QString(), text("Another application has already connected."));
        return;
    case ReconnectPolicy::Outcome::WrongPassword:
        endAttempt(end.outcome, connectedMs, text("wrong password"));
        return;
    default:
        break;
    }
    if (end.waitForPause) {
        // A pause is running: its end connects again.
        const bool announce = !m_outage;
        m_outage = true;
        if (announce)
            emit connected(false, QString());
        else
            emit connectionState(false, QString());
        return;
    }
    if (end.stopCountdown)
        m_clock->stop();
    endAttempt(end.outcome, connectedMs, QString());
}

void StationSession::endAttempt(
    ReconnectPolicy::Outcome outcome, qint64 connectedMs, const QString &reason, const QString &trayText)
{
    const ReconnectPolicy::Decision d = m_policy.next(outcome, connectedMs);
    const bool announce = !m_outage;
    m_outage = true;
    if (announce) {
        emit connected(false, reason);
        if (!trayText.isEmpty())
            emit sendTrayMessage(trayText);
    } else {
        emit connectionState(false, reason);
    }
    if (d.delayMs == 0) {
        qDebug() << "Connecting again at once";
        // From the event loop: the connection is still unwinding its own signal.
        QMetaObject::invokeMethod(this, &StationSession::connectToBox, Qt::QueuedConnection);
        return;
    }
    qDebug().noquote() << QStringLiteral("Next connection attempt in %1 s").arg(d.delayMs / 1000.0);
    m_reconnect.start(d.delayMs);
}

void StationSession::timeoutReconect()
{
    connectToBox();
}

bool StationSession::pttPermitted() const
{
    return m_permission->flags() & Permission::PttFsk;
}

void StationSession::releasePtt()
{
    m_transmitTimer.stop();
    m_rigPtt = false;
    m_held = false;
    emit pttHeldChanged(false);
    m_audio->enableTone(false);
    m_cw->setPttState(false);
    // The PTT/CW port's lines keep their own say, when permitted.
    m_ptt->setPTT(m_linePtt && pttPermitted());
}

void StationSession::requestPtt(bool on)
{
    if (!pttPermitted()) {
        if (on)
            emit sendTrayMessage(text("Not enough permission\nfor using PTT."));
        releasePtt();
        return;
    }
    if (m_ports[PttCw]->isOpened()) {
        // A program holds the PTT/CW port: its lines key, not the button.
        releasePtt();
        m_audio->setInput(paudio::audioInVirtual);
        return;
    }
    if (!on) {
        releasePtt();
        return;
    }
    m_held = true;
    m_cw->setPttState(true);
    m_ptt->setPTT(true);
    if (!m_transmitTimer.isActive() && m_config.txTimeoutMs > 0)
        m_transmitTimer.start(m_config.txTimeoutMs);
    emit pttHeldChanged(true);
}

int StationSession::rigSetPtt(bool on)
{
    if (!on) {
        if (m_rigPtt)
            requestPtt(false);
        return RigProtocol::Ok;
    }
    if (!m_linkUp)
        return RigProtocol::EIo; // no link to the box
    requestPtt(true);
    if (!m_held)
        return RigProtocol::ERjcted; // no permission, or a program holds the PTT/CW port
    m_rigPtt = true;
    return RigProtocol::Ok;
}

void StationSession::transmitTimedOut()
{
    if (!m_held)
        return;
    const int seconds = m_config.txTimeoutMs / 1000;
    qWarning().noquote() << QStringLiteral("Transmit time-out: PTT released after %1 s").arg(seconds);
    releasePtt();
    emit sendTrayMessage(text("Transmit time-out: PTT released after %1 s").arg(seconds));
}

void StationSession::linePttTimedOut(int source)
{
    const QString from
        = source == PttCwSerial::WinKeyPtt ? QStringLiteral("WinKey") : QStringLiteral("PTT/CW port");
    const int seconds = m_config.txTimeoutMs / 1000;
    qWarning().noquote()
        << QStringLiteral("Transmit time-out: PTT from the %1 released after %2 s").arg(from).arg(seconds);
    emit sendTrayMessage(text("Transmit time-out: PTT released after %1 s").arg(seconds));
}

void StationSession::setLinePtt(bool state)
{
    m_linePtt = state;
    if (!m_held)
        m_ptt->setPTT(state && pttPermitted());
}

void StationSession::remotePtt()
{
    const bool remote = m_ptt->remotePtt();
    // A radio program's transmission takes its audio from the virtual card.
    if (m_held && remote)
        m_audio->setInput(m_rigPtt ? paudio::audioInVirtual : paudio::audioIn);
    else
        m_audio->setInput(paudio::audioInVirtual);
    m_audio->setTransmitMode(remote);
    emit remotePttChanged(remote);
}

QString StationSession::permissionText(const Permission::Grant &grant)
{
    QStringList granted;
    if (grant.ptt)
        granted << text("PTT");
    if (grant.cat)
        granted << text(" CAT");
    if (grant.txLevel)
        granted << text(" TX audio level");
    return granted.join(QLatin1Char(','));
}

void StationSession::permParamsChanged()
{
    const Permission::Grant grant = Permission::grant(m_permission->flags());
    m_clock->stop();
    m_clock->setAddrPass(m_client->serverAddress(), m_auth->password());
    m_clock->setTimers(m_permission->workTime(), m_permission->pauseTime());

    if (!grant.access) {
        qWarning() << "The Brelko grants no access";
        releasePtt();
        m_cw->setPttSendState(false);
        if (m_client->isConnected())
            m_client->disconnectFromServer();
        return;
    }
    if (!grant.ptt) {
        // Withdrawn mid-session: nothing may stay keyed.
        releasePtt();
        m_ptt->setPTT(false);
    }
    m_cw->setPttSendState(grant.ptt);
    m_serials[Fsk]->setPermitted(grant.ptt);
    m_serials[Cat]->setPermitted(grant.cat);
    m_serials[Rs485]->setPermitted(grant.cat);
    if (grant.countdown)
        m_clock->start();
    else
        m_clock->clear();
    emit grantChanged(grant, permissionText(grant));
    if (m_client->isConnected() && !m_clock->isWorkTimer())
        m_client->disconnectFromServer();
}

void StationSession::permTimerCompleted()
{
    if (!m_clock->isWorkTimer()) {
        qDebug() << "Need disconnected";
        m_client->disconnectFromServer();
    } else {
        qDebug() << "Need connected";
        connectToBox();
    }
}

QVector<quint8> StationSession::indicatorStates() const
{
    QVector<quint8> states(6, 0);
    if (!m_client->isConnected())
        return states;
    auto flag = [](bool on) { return quint8(on ? 1 : 2); };
    states[0] = 1;
    states[1] = flag(m_serials[Fsk]->takeActivity());
    states[2] = flag(m_serials[Cat]->takeActivity());
    states[3] = flag(m_ptt->remotePtt());
    states[4] = flag(m_cw->hasSampler() && m_cw->takeCwActivity());
    states[5] = flag(m_winKey->takeActivity());
    return states;
}

} // namespace morvex
