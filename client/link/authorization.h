#pragma once

#include "client/link/abstractpacket.h"

#include <QString>

namespace morvex {

// Type 0: the log-in frame with the Brelko password, once per connection.
class Authorization final : public AbstractPacket
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Authorization)

public:
    explicit Authorization(qint32 type = PacketType::Authorization, QObject *parent = nullptr);

    void setPassword(const QString &password);
    QString password() const { return m_password; }
    bool isSent() const { return m_sent; }

    // Wire form of a password: Latin-1, "?" for other characters, then a zero byte.
    static QByteArray encodePassword(const QString &password);

public slots:
    QByteArray create(qint32 maxSize, qint32 *usedSize) override;
    void addData(const QByteArray &data) override;
    void addData(const char *data, int size) override;
    void setHeader(PacketHeader header) override;
    void reset() override;

private:
    bool m_sent = false;
    QString m_password;
    bool m_tooLongReported = false;
};

} // namespace morvex
