#include "client/link/authorization.h"

#include "client/link/packetmngr.h"

#include <QDebug>

namespace morvex {

Authorization::Authorization(qint32 type, QObject *parent)
    : AbstractPacket(type, parent)
{
}

void Authorization::setPassword(const QString &password)
{
    // Takes effect with the next connection: the Brelko checks only the first frame.
    m_password = password;
    m_tooLongReported = false;
}

QByteArray Authorization::encodePassword(const QString &password)
{
    QByteArray payload = password.toLatin1();
    payload.append('\0');
    return payload;
}

QByteArray Authorization::create(qint32 maxSize, qint32 *usedSize)
{
    if (usedSize)
        *usedSize = 0;
    if (m_sent)
        return QByteArray();

    const QByteArray payload = encodePassword(m_password);
    const qint64 frameSize = qint64(kPacketHeaderSize) + payload.size();
    // The length field holds 16 bits: a longer password could never be framed intact.
    if (payload.size() > 0xFFFF || frameSize > PacketMngr::kFrameBudget) {
        // No batch can ever carry it: say so once instead of failing silently.
        if (!m_tooLongReported)
            qWarning() << "Password too long to log in:" << m_password.size() << "characters";
        m_tooLongReported = true;
        return QByteArray();
    }
    if (frameSize > maxSize)
        return QByteArray();

    const QByteArray frame = makeFrame(quint8(type()), value(), payload);
    m_sent = true;
    if (usedSize)
        *usedSize = frame.size();
    return frame;
}

void Authorization::addData(const QByteArray &data)
{
    addData(data.constData(), data.size());
}

void Authorization::addData(const char *, int) { }

void Authorization::setHeader(PacketHeader) { }

void Authorization::reset()
{
    m_sent = false;
}

} // namespace morvex
