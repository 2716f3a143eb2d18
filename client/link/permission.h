#pragma once

#include "client/link/abstractpacket.h"

namespace morvex {

// Type 9: what the operator may use and, when restricted, how long.
class Permission final : public AbstractPacket
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Permission)

public:
    enum Flag : quint8 {
        Access = 0x01,
        CatRs485 = 0x02,
        PttFsk = 0x04,
        TxLevel = 0x08,
        Unrestricted = CatRs485 | PttFsk | TxLevel,
    };

    static constexpr int kPayloadSize = 9;

    // What a set of flags lets the operator use. Without Access nothing is
    // granted and the client leaves; the countdown runs unless all three
    // controls are granted.
    struct Grant
    {
        bool access = false;
        bool ptt = false; // PTT, CW keying and the FSK tunnel
        bool cat = false; // the CAT and RS-485 tunnels
        bool txLevel = false;
        bool countdown = false;
        bool operator==(const Grant &o) const
        {
            return access == o.access && ptt == o.ptt && cat == o.cat && txLevel == o.txLevel
                && countdown == o.countdown;
        }
    };
    static Grant grant(quint8 flags);

    explicit Permission(qint32 type = PacketType::Permission, QObject *parent = nullptr);

    quint32 workTime() const { return m_workTime; }
    quint32 pauseTime() const { return m_pauseTime; }
    quint8 flags() const { return m_flags; }

    // Payload of a permission frame (the simulator and tests build them too).
    static QByteArray payload(quint8 flags, quint32 work, quint32 pause);

signals:
    void changedState();

public slots:
    QByteArray create(qint32 maxSize, qint32 *usedSize) override;
    void addData(const QByteArray &data) override;
    void addData(const char *data, int size) override;
    void setHeader(PacketHeader header) override;
    void reset() override;

private:
    quint32 m_workTime = 0;
    quint32 m_pauseTime = 0;
    quint8 m_flags = 0;
};

} // namespace morvex
