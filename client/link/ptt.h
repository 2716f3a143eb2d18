#pragma once

#include "client/link/abstractpacket.h"

namespace morvex {

// Type 1: the transmit state the client asks for, and the one the Brelko reports.
class PTT final : public AbstractPacket
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PTT)

public:
    explicit PTT(qint32 type = PacketType::Ptt, QObject *parent = nullptr);

    bool localPtt() const { return m_local; }
    bool remotePtt() const { return m_remote; }

public slots:
    void setPTT(bool state);

    QByteArray create(qint32 maxSize, qint32 *usedSize) override;
    void addData(const QByteArray &data) override;
    void addData(const char *data, int size) override;
    void setHeader(PacketHeader header) override;
    void reset() override;

private:
    bool m_local = false;
    bool m_remote = false;
};

} // namespace morvex
