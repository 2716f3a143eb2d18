#include "sim/serialtunnels.h"

#include <QRegularExpression>

SerialTunnels::SerialTunnels(CmdLinkServer *link, QObject *parent)
    : QObject(parent)
    , m_cat(link, SimFrame::SerialCat, QStringLiteral("cat"), &m_radio)
    , m_fsk(link, SimFrame::SerialFsk, QStringLiteral("fsk"), &m_fskLoop)
    , m_rs485(link, SimFrame::SerialRs485, QStringLiteral("rs485"), &m_rs485Loop)
{
}

SerialTunnel *SerialTunnels::find(const QString &nameOrType)
{
    for (SerialTunnel *t : { &m_cat, &m_fsk, &m_rs485 }) {
        if (nameOrType.compare(t->name(), Qt::CaseInsensitive) == 0
            || nameOrType == QString::number(t->type()))
            return t;
    }
    return nullptr;
}

void SerialTunnels::addCommands(ControlServer *control)
{
    using Reply = ControlServer::Reply;
    m_radio.addCommands(control);

    static const QString usage = QStringLiteral(
        "tunnel [cat|fsk|rs485 [window N | window auto [CAPACITY] | hold on|off | lines | traffic [clear] | "
        "send HEX | clear]]");
    control->addCommand(QStringLiteral("tunnel"), usage, [this](const QStringList &args) {
        if (args.isEmpty())
            return Reply::done({ m_cat.statusLine(), m_fsk.statusLine(), m_rs485.statusLine() });
        SerialTunnel *t = find(args.first());
        if (!t)
            return Reply::fail(QStringLiteral("no tunnel %1").arg(args.first()));
        const QString what = args.size() > 1 ? args.at(1).toLower() : QString();
        if (args.size() == 1)
            return Reply::done({ t->statusLine() });
        if (what == QLatin1String("window") && args.size() >= 3) {
            bool ok = false;
            if (args.at(2).toLower() == QLatin1String("auto")) {
                quint32 capacity = t->capacity();
                if (args.size() == 4)
                    capacity = args.at(3).toUInt(&ok);
                if (args.size() > 4 || (args.size() == 4 && (!ok || capacity == 0)))
                    return Reply::fail(QStringLiteral("usage: tunnel NAME window auto [CAPACITY>0]"));
                t->setAutoWindow(capacity);
                return Reply::done();
            }
            const quint32 window = args.at(2).toUInt(&ok);
            if (!ok || args.size() != 3)
                return Reply::fail(QStringLiteral("usage: tunnel NAME window N"));
            t->announceWindow(window);
            return Reply::done();
        }
        if (what == QLatin1String("hold") && args.size() == 3) {
            const QString v = args.at(2).toLower();
            if (v != QLatin1String("on") && v != QLatin1String("off"))
                return Reply::fail(QStringLiteral("usage: tunnel NAME hold on|off"));
            t->setHold(v == QLatin1String("on"));
            return Reply::done();
        }
        if (what == QLatin1String("lines") && args.size() == 2)
            return Reply::done(t->lineHistory());
        if (what == QLatin1String("traffic") && args.size() == 2)
            return Reply::done(t->trafficDump());
        if (what == QLatin1String("clear") && args.size() == 2) {
            t->clearStatistics();
            return Reply::done();
        }
        if (what == QLatin1String("traffic") && args.size() == 3 && args.at(2) == QLatin1String("clear")) {
            t->clearStatistics();
            return Reply::done();
        }
        if (what == QLatin1String("send") && args.size() == 3) {
            static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
            if (!hex.match(args.at(2)).hasMatch())
                return Reply::fail(QStringLiteral("usage: tunnel NAME send HEX"));
            t->sendToClient(QByteArray::fromHex(args.at(2).toLatin1()));
            return Reply::done();
        }
        return Reply::fail(QStringLiteral("usage: ") + usage);
    });
}
