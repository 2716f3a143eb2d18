#pragma once

#include "client/link/abstractpacket.h"

#include <QByteArray>
#include <QList>
#include <QObject>

namespace morvex {

// Collects the handlers' output into batches and cuts received bytes back
// into frames for the handler of each type. Does not own the handlers.
class PacketMngr final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PacketMngr)

public:
    static constexpr qint32 kFrameBudget = 1000;
    static constexpr int kBigBatch = 700;
    static constexpr int kDiscardAbove = 1500;

    explicit PacketMngr(QObject *parent = nullptr);

    void registerPacket(AbstractPacket *packet);
    const QList<AbstractPacket *> &packets() const { return m_packets; }

    QByteArray buildPackets();
    void addData(const QByteArray &data);
    void parcePacket();
    int buffered() const { return m_buffer.size(); }
    // Drops received bytes not yet consumed (a new connection starts clean).
    void clearBuffer() { m_buffer.clear(); }

signals:
    void changedData();

public slots:
    void resetItems();

private:
    qint32 m_budget = kFrameBudget;
    QList<AbstractPacket *> m_packets;
    QByteArray m_buffer;
};

} // namespace morvex
