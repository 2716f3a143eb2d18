#pragma once

#include "client/Rtp/abstractrtp.h"

#include <QHostAddress>
#include <QVector>

namespace morvex {

class RtpFixedJb;

// Receive side: takes datagrams from the box only, checks each and queues it
// whole into the main and the virtual jitter buffer.
class RtpServer final : public AbstractRtp
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtpServer)

public:
    static constexpr int kHeaderSize = 16;

    enum Verdict { Queued, Rejected, NoSource, NewSource, NotReceiving, Foreign };

    explicit RtpServer(QObject *parent = nullptr);
    ~RtpServer() override;

    void setFormat(qint32 sampleRate, qint32 ms);

    // The box's address and the port it sends from (its audio port). Until
    // one is set, or with a null address, every datagram is foreign.
    void setDestination(const QHostAddress &host, quint16 port);
    bool isFromBox(const QHostAddress &from, quint16 fromPort) const;

    // The checks and queueing of one datagram, without the socket.
    Verdict processDatagram(const char *data, qint64 len, const QHostAddress &from, quint16 fromPort);
    // The same for a datagram already known to come from the box.
    Verdict processDatagram(const char *data, qint64 len);

    RtpFixedJb *outputBuffer() const { return m_output; }
    RtpFixedJb *outputVirtualBuffer() const { return m_outputVirtual; }
    quint32 ssrc() const { return m_ssrc; }
    bool isReceiving() const { return m_receiving; }

    // Receive payload bytes of one frame; 0 for a rate that gives none.
    static qint32 frameBytes(qint32 sampleRate, qint32 ms);

signals:
    void statistics(QVector<quint32> stats);

public slots:
    void dataArrived();
    void setReceivingState(bool state);
    void setBufferedTime(qint32 ms);

private:
    quint32 m_ssrc = 0;
    bool m_receiving = true;
    QHostAddress m_box;
    quint16 m_boxPort = 0;
    // One log line per destination, however many strangers send.
    bool m_foreignLogged = false;
    RtpFixedJb *m_output = nullptr;
    RtpFixedJb *m_outputVirtual = nullptr;
    QByteArray m_datagram;
    QHostAddress m_from;
};

} // namespace morvex
