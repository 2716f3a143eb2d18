#pragma once

#include "client/link/packetheader.h"

#include <QByteArray>
#include <QObject>

namespace morvex {

// Base of every command-link handler: one handler per packet type.
class AbstractPacket : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AbstractPacket)

public:
    explicit AbstractPacket(qint32 type, QObject *parent = nullptr);

    qint32 type() const { return m_type; }
    quint32 value() const { return m_value; }
    // Returns whether payload passed through since the last call, and clears it.
    bool takeActivity();

    bool operator<(const AbstractPacket &o) const { return m_type < o.m_type; }
    bool operator<=(const AbstractPacket &o) const { return m_type <= o.m_type; }
    bool operator>(const AbstractPacket &o) const { return m_type > o.m_type; }
    bool operator>=(const AbstractPacket &o) const { return m_type >= o.m_type; }
    bool operator==(const AbstractPacket &o) const { return m_type == o.m_type; }
    bool operator!=(const AbstractPacket &o) const { return m_type != o.m_type; }

signals:
    void readyRead();
    void changedData();

public slots:
    // Complete frames to send now, at most maxSize bytes; *usedSize gets the size.
    virtual QByteArray create(qint32 maxSize, qint32 *usedSize) = 0;
    virtual void addData(const QByteArray &data) = 0;
    // Payload of one received frame of this type (size may be 0).
    virtual void addData(const char *data, int size) = 0;
    // Copy of the received header, delivered just before addData.
    virtual void setHeader(PacketHeader header) = 0;
    // Forget everything that belongs to the current connection.
    virtual void reset() = 0;

protected:
    void setActivity() { m_activity = true; }

private:
    const qint32 m_type;
    quint32 m_value = 0;
    bool m_activity = false;
};

} // namespace morvex
