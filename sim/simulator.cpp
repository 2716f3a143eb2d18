#include "sim/simulator.h"

#include <QRegularExpression>

namespace {
bool parseUInt(const QString &text, quint32 *out)
{
    bool ok = false;
    const quint32 v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toUInt(&ok, 16)
                                                                                : text.toUInt(&ok, 10);
    if (ok)
        *out = v;
    return ok;
}

bool parseOnOff(const QString &text, bool *out)
{
    const QString t = text.toLower();
    if (t == QLatin1String("on") || t == QLatin1String("1")) {
        *out = true;
        return true;
    }
    if (t == QLatin1String("off") || t == QLatin1String("0")) {
        *out = false;
        return true;
    }
    return false;
}
} // namespace

Simulator::Simulator(const SimOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_audio(QStringLiteral("audio"))
    , m_keying(QStringLiteral("keying"))
{
    m_link.setPassword(options.password);
    m_link.setFirmware(options.firmware);
    m_link.setHeartbeatInterval(options.heartbeatMs);
    m_link.setLoginTimeout(options.loginTimeoutMs);
    m_link.setIdleTimeout(options.idleTimeoutMs);
    connect(&m_control, &ControlServer::quitRequested, this, &Simulator::quitRequested);
    addLinkCommands();
    connect(&m_keying, &UdpPort::datagram, &m_keyingRx,
        [this](const QByteArray &data, const QHostAddress &, quint16) { m_keyingRx.addDatagram(data); });
    m_keyingRx.addCommands(&m_control);
    m_levels.addCommands(&m_control);
    m_perms.addCommands(&m_control);
    m_audioStream.addCommands(&m_control);
    m_tunnels.addCommands(&m_control);
}

bool Simulator::start(QString *error)
{
    QString why;
    for (const QString &text : qAsConst(m_options.permSlots)) {
        PermissionSlots::Slot slot;
        if (!PermissionSlots::parseSlot(text, &slot)) {
            *error = QStringLiteral("bad permission slot \"%1\"").arg(text);
            return false;
        }
        m_perms.addSlot(slot);
    }
    if (!m_link.listen(m_options.address, m_options.tcpPort, &why)) {
        *error = QStringLiteral("command port %1: %2").arg(m_options.tcpPort).arg(why);
        return false;
    }
    if (!m_audio.bind(m_options.address, m_options.audioPort, &why)) {
        *error = QStringLiteral("audio port %1: %2").arg(m_options.audioPort).arg(why);
        return false;
    }
    if (!m_keying.bind(m_options.address, m_options.keyingPort, &why)) {
        *error = QStringLiteral("keying port %1: %2").arg(m_options.keyingPort).arg(why);
        return false;
    }
    if (!m_options.keyingTimeline.isEmpty() && !m_keyingRx.setTimelineFile(m_options.keyingTimeline, &why)) {
        *error = QStringLiteral("keying timeline %1: %2").arg(m_options.keyingTimeline, why);
        return false;
    }
    if (!m_control.listen(m_options.address, m_options.controlPort, &why)) {
        *error = QStringLiteral("control port %1: %2").arg(m_options.controlPort).arg(why);
        return false;
    }
    return true;
}

QString Simulator::readyLine() const
{
    return QStringLiteral("brelko-sim ready tcp=%1 audio=%2 keying=%3 control=%4")
        .arg(m_link.port())
        .arg(m_audio.port())
        .arg(m_keying.port())
        .arg(m_control.port());
}

QString Simulator::toHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

bool Simulator::fromHex(const QString &text, QByteArray *out)
{
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
    if (!hex.match(text).hasMatch())
        return false;
    *out = QByteArray::fromHex(text.toLatin1());
    return true;
}

void Simulator::addLinkCommands()
{
    using Reply = ControlServer::Reply;
    ControlServer *c = &m_control;

    c->addCommand(QStringLiteral("status"), QStringLiteral("status"), [this](const QStringList &) {
        return Reply::done({ QStringLiteral("connections=%1 active=%2 loggedin=%3 silent=%4 ptt=%5 "
                                            "fw=%6 frames=%7 crcerrors=%8 audio=%9 keying=%10 pttframes=%11")
                                 .arg(m_link.connectionCount())
                                 .arg(m_link.activeConnection())
                                 .arg(m_link.isLoggedIn() ? 1 : 0)
                                 .arg(m_link.isSilent() ? 1 : 0)
                                 .arg(m_link.pttState() ? 1 : 0)
                                 .arg(m_link.firmware().toString())
                                 .arg(m_link.records().size())
                                 .arg(m_link.checksumErrors())
                                 .arg(m_audio.datagrams())
                                 .arg(m_keying.datagrams())
                                 .arg(m_link.pttFrames()) });
    });

    c->addCommand(QStringLiteral("password"), QStringLiteral("password [TEXT]  (none: empty password)"),
        [this](const QStringList &args) {
            m_link.setPassword(args.join(QLatin1Char(' ')));
            return Reply::done();
        });

    c->addCommand(QStringLiteral("fw"),
        QStringLiteral("fw MAJOR.MINOR.POINT  (sent at once to a logged-in client)"),
        [this](const QStringList &args) {
            FirmwareVersion fw;
            if (args.size() != 1 || !FirmwareVersion::parse(args.first(), &fw))
                return Reply::fail(QStringLiteral("usage: fw MAJOR.MINOR.POINT"));
            m_link.setFirmware(fw);
            m_link.sendFirmware();
            return Reply::done();
        });

    c->addCommand(QStringLiteral("error"), QStringLiteral("error CODE"), [this](const QStringList &args) {
        quint32 code = 0;
        if (args.size() != 1 || !parseUInt(args.first(), &code))
            return Reply::fail(QStringLiteral("usage: error CODE"));
        if (!m_link.sendError(code))
            return Reply::fail(QStringLiteral("no client"));
        return Reply::done();
    });

    c->addCommand(QStringLiteral("drop"), QStringLiteral("drop [reset]"), [this](const QStringList &args) {
        const bool reset = !args.isEmpty() && args.first() == QLatin1String("reset");
        if (!m_link.dropClient(reset))
            return Reply::fail(QStringLiteral("no client"));
        return Reply::done();
    });

    c->addCommand(QStringLiteral("silent"), QStringLiteral("silent on|off"), [this](const QStringList &args) {
        bool on = false;
        if (args.size() != 1 || !parseOnOff(args.first(), &on))
            return Reply::fail(QStringLiteral("usage: silent on|off"));
        m_link.setSilent(on);
        return Reply::done({ QStringLiteral("t=%1").arg(m_link.elapsed()),
            QStringLiteral("lasttx=%1").arg(m_link.lastTransmit()) });
    });

    c->addCommand(QStringLiteral("frame"), QStringLiteral("frame TYPE VALUE [HEXPAYLOAD]"),
        [this](const QStringList &args) {
            quint32 type = 0;
            quint32 value = 0;
            QByteArray payload;
            if (args.size() < 2 || args.size() > 3 || !parseUInt(args.at(0), &type) || type > 255
                || !parseUInt(args.at(1), &value) || (args.size() == 3 && !fromHex(args.at(2), &payload)))
                return Reply::fail(QStringLiteral("usage: frame TYPE VALUE [HEXPAYLOAD]"));
            if (!m_link.sendFrame(quint8(type), value, payload))
                return Reply::fail(QStringLiteral("no client"));
            return Reply::done();
        });

    c->addCommand(QStringLiteral("send"), QStringLiteral("send HEXBYTES  (raw, unframed)"),
        [this](const QStringList &args) {
            QByteArray bytes;
            if (args.size() != 1 || !fromHex(args.first(), &bytes))
                return Reply::fail(QStringLiteral("usage: send HEXBYTES"));
            if (!m_link.sendRaw(bytes))
                return Reply::fail(QStringLiteral("no client"));
            return Reply::done();
        });

    c->addCommand(
        QStringLiteral("frames"), QStringLiteral("frames [clear]"), [this](const QStringList &args) {
            if (!args.isEmpty() && args.first() == QLatin1String("clear")) {
                m_link.clearRecords();
                return Reply::done();
            }
            QStringList lines;
            for (const RxRecord &r : m_link.records()) {
                lines << QStringLiteral("frame conn=%1 t=%2 type=%3 value=%4 len=%5 crc=%6 payload=%7")
                             .arg(r.conn)
                             .arg(r.ms)
                             .arg(r.frame.type)
                             .arg(r.frame.value)
                             .arg(r.frame.length)
                             .arg(r.checksumOk ? QStringLiteral("ok") : QStringLiteral("bad"))
                             .arg(toHex(r.frame.payload));
            }
            return Reply::done(lines);
        });

    c->addCommand(QStringLiteral("events"), QStringLiteral("events"), [this](const QStringList &) {
        QStringList lines;
        for (const LinkEvent &e : m_link.events())
            lines << QStringLiteral("event conn=%1 t=%2 %3").arg(e.conn).arg(e.ms).arg(e.what);
        return Reply::done(lines);
    });
}
