#include "client/link/audiopacket.h"

#include <QDebug>

namespace morvex {

namespace {
constexpr int kShortFrame = kPacketHeaderSize + 1;
constexpr int kLongFrame = kPacketHeaderSize + 4;
} // namespace

AudioPacket::AudioPacket(qint32 type, QObject *parent)
    : AbstractPacket(type, parent)
{
    m_delayTimer.setSingleShot(true);
    connect(&m_delayTimer, &QTimer::timeout, this, &AudioPacket::timeout);
}

void AudioPacket::setTxBuffer(int value)
{
    m_txBuffer = quint32(value);
    m_paramsPending = true;
}

bool AudioPacket::setLevel(quint8 *level, quint32 value, quint32 max)
{
    if (value > max || value == *level)
        return false;
    *level = quint8(value);
    // One frame after the slider has rested, not one per step.
    m_delayTimer.start(m_delay);
    return true;
}

void AudioPacket::setInLevelL(quint32 level)
{
    setLevel(&m_inLevelL, level, kMaxInLevel);
}

void AudioPacket::setInLevelR(quint32 level)
{
    setLevel(&m_inLevelR, level, kMaxInLevel);
}

void AudioPacket::setOutLevel(quint32 level)
{
    setLevel(&m_outLevel, level, kMaxOutLevel);
}

void AudioPacket::timeout()
{
    m_delayTimer.stop();
    m_levelsPending = true;
    emit changedData();
}

QByteArray AudioPacket::create(qint32 maxSize, qint32 *usedSize)
{
    if (usedSize)
        *usedSize = 0;
    if ((!m_paramsPending && !m_levelsPending) || maxSize < kLongFrame)
        return QByteArray();
    m_paramsPending = false;
    qDebug() << "virtual QByteArray AudioPacket::create(qint32, qint32*)" << type();

    const quint32 value = (m_sampleRate & 0xFFFF) | ((m_channelMode & 0xFFFF) << 16);
    QByteArray payload(1, char(quint8(m_txBuffer)));
    if (m_levelsPending) {
        m_levelsPending = false;
        payload.append(char(m_inLevelL));
        payload.append(char(m_inLevelR));
        payload.append(char(m_outLevel));
    }
    const QByteArray frame = makeFrame(quint8(type()), value, payload);
    Q_ASSERT(frame.size() == kShortFrame || frame.size() == kLongFrame);
    if (usedSize)
        *usedSize = frame.size();
    return frame;
}

void AudioPacket::addData(const QByteArray &data)
{
    addData(data.constData(), data.size());
}

void AudioPacket::addData(const char *data, int size)
{
    if (size != 3 || !data)
        return;
    // Taken as they are; these are never sent back.
    m_inLevelL = quint8(data[0]);
    m_inLevelR = quint8(data[1]);
    m_outLevel = quint8(data[2]);
    emit changeInLevelL(m_inLevelL);
    emit changeInLevelR(m_inLevelR);
    emit changeOutLevel(m_outLevel);
}

void AudioPacket::setHeader(PacketHeader) { }

void AudioPacket::reset()
{
    m_levelsPending = false;
    m_paramsPending = true;
}

} // namespace morvex
