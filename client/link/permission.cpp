#include "client/link/permission.h"

#include <QDebug>
#include <QtEndian>

namespace morvex {

Permission::Permission(qint32 type, QObject *parent)
    : AbstractPacket(type, parent)
{
}

QByteArray Permission::payload(quint8 flags, quint32 work, quint32 pause)
{
    QByteArray p(kPayloadSize, '\0');
    p[0] = char(flags);
    qToLittleEndian<quint32>(work, p.data() + 1);
    qToLittleEndian<quint32>(pause, p.data() + 5);
    return p;
}

QByteArray Permission::create(qint32 maxSize, qint32 *usedSize)
{
    Q_UNUSED(maxSize)
    if (usedSize)
        *usedSize = 0;
    return QByteArray();
}

void Permission::addData(const QByteArray &data)
{
    addData(data.constData(), data.size());
}

void Permission::addData(const char *data, int size)
{
    if (!data || size < kPayloadSize) {
        qWarning() << "WARNING!!! Non standart format in"
                   << "virtual void Permission::addData(const char*, int)";
        return;
    }
    m_flags = quint8(data[0]);
    m_workTime = qFromLittleEndian<quint32>(data + 1);
    m_pauseTime = qFromLittleEndian<quint32>(data + 5);
    emit changedState();
    qDebug() << "virtual void Permission::addData(const char*, int)";
    qDebug() << m_flags;
    qDebug() << m_workTime;
    qDebug() << m_pauseTime;
}

void Permission::setHeader(PacketHeader header)
{
    Q_UNUSED(header)
}

void Permission::reset()
{
    m_workTime = 0;
    m_pauseTime = 0;
    m_flags = 0;
}

Permission::Grant Permission::grant(quint8 flags)
{
    Grant g;
    if (!(flags & Access))
        return g;
    g.access = true;
    g.ptt = flags & PttFsk;
    g.cat = flags & CatRs485;
    g.txLevel = flags & TxLevel;
    g.countdown = (flags & Unrestricted) != Unrestricted;
    return g;
}

} // namespace morvex
