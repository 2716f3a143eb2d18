#pragma once

#include "sim/cmdlinkserver.h"
#include "sim/controlserver.h"

#include <QList>
#include <QObject>

// The box's permission slots: each slot has its own password, rights and
// work/pause minutes. A client that logs in with a slot's password gets that
// slot's permission frame (type 9); the control channel can send one any time.
class PermissionSlots final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PermissionSlots)

public:
    struct Slot
    {
        QString password;
        quint8 flags = 0x0F;
        quint32 work = 0;
        quint32 pause = 0;
    };

    explicit PermissionSlots(CmdLinkServer *link, QObject *parent = nullptr);

    // "PASSWORD:FLAGS:WORK:PAUSE", flags decimal or 0x hex.
    static bool parseSlot(const QString &text, Slot *out);
    static QByteArray payload(quint8 flags, quint32 work, quint32 pause);

    void addSlot(const Slot &slot);
    const QList<Slot> &allSlots() const { return m_slots; }
    void addCommands(ControlServer *control);
    int framesSent() const { return m_sent; }

private:
    void onLoggedIn(int conn);
    bool send(quint8 flags, quint32 work, quint32 pause);
    void updatePasswords();

    CmdLinkServer *m_link;
    QList<Slot> m_slots;
    int m_sent = 0;
};
