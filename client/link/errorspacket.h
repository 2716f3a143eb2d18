#pragma once

#include "client/link/abstractpacket.h"

namespace morvex {

// Type 8: why the Brelko is about to drop the client; the code is the header value.
class ErrorsPacket final : public AbstractPacket
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ErrorsPacket)

public:
    // Fixed underlying type: codes outside the table pass through unchanged.
    enum ConnectionError : quint32 {
        NoError = 0,
        MultipleConnection = 1,
        WrongPassword = 2,
        Timeout = 3,
        UnknowPacket = 4,
    };
    Q_ENUM(ConnectionError)

    explicit ErrorsPacket(qint32 type = PacketType::Errors, QObject *parent = nullptr);

signals:
    void error(ErrorsPacket::ConnectionError err);

public slots:
    QByteArray create(qint32 maxSize, qint32 *usedSize) override;
    void addData(const QByteArray &data) override;
    void addData(const char *data, int size) override;
    void setHeader(PacketHeader header) override;
    void reset() override;
};

} // namespace morvex
