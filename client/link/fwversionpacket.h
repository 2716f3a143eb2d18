#pragma once

#include "client/link/abstractpacket.h"

namespace morvex {

// Type 10: the Brelko's firmware version, three little-endian 32-bit words.
class FwVersionPacket final : public AbstractPacket
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FwVersionPacket)

public:
    static constexpr int kPayloadSize = 12;

    explicit FwVersionPacket(qint32 type = PacketType::FwVersion, QObject *parent = nullptr);

signals:
    void updateVersion(quint32 ver, quint32 subver, quint32 pointver);

public slots:
    QByteArray create(qint32 maxSize, qint32 *usedSize) override;
    void addData(const QByteArray &data) override;
    void addData(const char *data, int size) override;
    void setHeader(PacketHeader header) override;
    void reset() override;
};

} // namespace morvex
