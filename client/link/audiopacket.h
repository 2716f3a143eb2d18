#pragma once

#include "client/link/abstractpacket.h"

#include <QTimer>

namespace morvex {

// Type 2: audio levels of the Brelko's sound path (both ways) and the
// client's stream parameters.
class AudioPacket final : public AbstractPacket
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AudioPacket)

public:
    static constexpr quint32 kMaxInLevel = 117;
    static constexpr quint32 kMaxOutLevel = 118;
    static constexpr quint8 kUnknownLevel = 255;

    explicit AudioPacket(qint32 type = PacketType::Audio, QObject *parent = nullptr);

    void setTxBuffer(int value);
    quint8 inLevelL() const { return m_inLevelL; }
    quint8 inLevelR() const { return m_inLevelR; }
    quint8 outLevel() const { return m_outLevel; }
    // A level change is waiting for the slider to rest.
    bool levelChangeWaiting() const { return m_delayTimer.isActive(); }

signals:
    void changeInLevelL(quint32 level);
    void changeInLevelR(quint32 level);
    void changeOutLevel(quint32 level);

public slots:
    void setInLevelL(quint32 level);
    void setInLevelR(quint32 level);
    void setOutLevel(quint32 level);
    void timeout();

    QByteArray create(qint32 maxSize, qint32 *usedSize) override;
    void addData(const QByteArray &data) override;
    void addData(const char *data, int size) override;
    void setHeader(PacketHeader header) override;
    void reset() override;

private:
    bool setLevel(quint8 *level, quint32 value, quint32 max);

    QTimer m_delayTimer;
    int m_delay = 200;
    quint32 m_sampleRate = 2;
    quint32 m_channelMode = 0;
    quint32 m_txBuffer = 10;
    quint8 m_inLevelL = kUnknownLevel;
    quint8 m_inLevelR = kUnknownLevel;
    quint8 m_outLevel = kUnknownLevel;
    bool m_paramsPending = true;
    bool m_levelsPending = false;
};

} // namespace morvex
