#include "sim/permissionslots.h"

#include <QtEndian>

namespace {
bool parseNumber(const QString &text, quint32 *out)
{
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok, 0);
    if (!ok || v > 0xFFFFFFFFull)
        return false;
    *out = quint32(v);
    return true;
}
} // namespace

PermissionSlots::PermissionSlots(CmdLinkServer *link, QObject *parent)
    : QObject(parent)
    , m_link(link)
{
    connect(link, &CmdLinkServer::clientLoggedIn, this, &PermissionSlots::onLoggedIn);
}

bool PermissionSlots::parseSlot(const QString &text, Slot *out)
{
    // The password may itself contain ':'; the last three fields are numbers.
    QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 4)
        return false;
    Slot s;
    quint32 flags = 0;
    if (!parseNumber(parts.at(parts.size() - 3), &flags) || flags > 0xFF
        || !parseNumber(parts.at(parts.size() - 2), &s.work) || !parseNumber(parts.last(), &s.pause))
        return false;
    s.flags = quint8(flags);
    parts = parts.mid(0, parts.size() - 3);
    s.password = parts.join(QLatin1Char(':'));
    *out = s;
    return true;
}

QByteArray PermissionSlots::payload(quint8 flags, quint32 work, quint32 pause)
{
    QByteArray p(9, '\0');
    p[0] = char(flags);
    qToLittleEndian<quint32>(work, p.data() + 1);
    qToLittleEndian<quint32>(pause, p.data() + 5);
    return p;
}

void PermissionSlots::addSlot(const Slot &slot)
{
    for (Slot &s : m_slots) {
        if (s.password == slot.password) {
            s = slot;
            updatePasswords();
            return;
        }
    }
    m_slots.append(slot);
    updatePasswords();
}

void PermissionSlots::updatePasswords()
{
    QStringList passwords;
    for (const Slot &s : qAsConst(m_slots))
        passwords << s.password;
    m_link->setExtraPasswords(passwords);
}

bool PermissionSlots::send(quint8 flags, quint32 work, quint32 pause)
{
    if (!m_link->sendFrame(SimFrame::Permission, 0, payload(flags, work, pause)))
        return false;
    ++m_sent;
    return true;
}

void PermissionSlots::onLoggedIn(int conn)
{
    Q_UNUSED(conn)
    const QString pw = m_link->loginPassword();
    for (const Slot &s : qAsConst(m_slots)) {
        if (s.password == pw) {
            send(s.flags, s.work, s.pause);
            return;
        }
    }
}

void PermissionSlots::addCommands(ControlServer *control)
{
    using Reply = ControlServer::Reply;
    control->addCommand(QStringLiteral("perm"),
        QStringLiteral("perm FLAGS WORK PAUSE | perm raw HEX | perm slot PASSWORD:FLAGS:WORK:PAUSE | "
                       "perm  (list slots)"),
        [this](const QStringList &args) {
            if (args.isEmpty()) {
                QStringList lines;
                for (const Slot &s : qAsConst(m_slots))
                    lines << QStringLiteral("slot %1 flags=0x%2 work=%3 pause=%4")
                                 .arg(s.password)
                                 .arg(s.flags, 2, 16, QLatin1Char('0'))
                                 .arg(s.work)
                                 .arg(s.pause);
                lines << QStringLiteral("sent=%1").arg(m_sent);
                return Reply::done(lines);
            }
            if (args.at(0) == QLatin1String("slot") && args.size() == 2) {
                Slot s;
                if (!parseSlot(args.at(1), &s))
                    return Reply::fail(QStringLiteral("usage: perm slot PASSWORD:FLAGS:WORK:PAUSE"));
                addSlot(s);
                return Reply::done();
            }
            if (args.at(0) == QLatin1String("raw") && args.size() == 2) {
                // Any payload, also short ones, for bad-input tests.
                const QByteArray bytes = QByteArray::fromHex(args.at(1).toLatin1());
                if (!m_link->sendFrame(SimFrame::Permission, 0, bytes))
                    return Reply::fail(QStringLiteral("no client"));
                ++m_sent;
                return Reply::done();
            }
            quint32 v[3];
            if (args.size() != 3 || !parseNumber(args.at(0), &v[0]) || v[0] > 0xFF
                || !parseNumber(args.at(1), &v[1]) || !parseNumber(args.at(2), &v[2]))
                return Reply::fail(QStringLiteral("usage: perm FLAGS WORK PAUSE"));
            if (!send(quint8(v[0]), v[1], v[2]))
                return Reply::fail(QStringLiteral("no client"));
            return Reply::done();
        });
}
