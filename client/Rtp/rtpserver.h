#pragma once

#include "abstractrtp.h"

#include <QVector>

class RtpFixedJb;

// Receive side: checks each datagram and queues it whole into the main and
// the virtual jitter buffer.
class RtpServer final : public AbstractRtp
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtpServer)

public:
    static constexpr int kHeaderSize = 16;

    enum Verdict { Queued, Rejected, NoSource, NewSource, NotReceiving };

    explicit RtpServer(QObject *parent = nullptr);
    ~RtpServer() override;

    void setFormat(qint32 sampleRate, qint32 ms);

    // The checks and queueing of one datagram, without the socket.
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
    RtpFixedJb *m_output = nullptr;
    RtpFixedJb *m_outputVirtual = nullptr;
    QByteArray m_datagram;
};
