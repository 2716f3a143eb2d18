#pragma once

#include "client/Rtp/abstractrtp.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>

#include <mutex>

class QTimer;

namespace morvex {

class RtpSendBuffer;

// Transmit side: turns what the capture callback writes into 20 ms
// datagrams. While not sending it keeps the stream going with silence.
class RtpClient final : public AbstractRtp
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtpClient)

public:
    static constexpr int kHeaderSize = 16;
    // Datagrams sent at most in one go (500 ms of audio at 20 ms each).
    static constexpr qint64 kMaxBacklog = 25;
    // Without captured audio for this long, silence goes out at the packet
    // rate: the box sends receive audio to where datagrams come from. Longer
    // than any capture buffer, so a running capture never gets extra datagrams.
    static constexpr qint64 kIdleMs = 400;

    explicit RtpClient(QObject *parent = nullptr);
    ~RtpClient() override;

    void setFormat(qint32 sampleRate, qint32 ms);
    void setDestination(const QHostAddress &host, quint16 port);
    // Text that is not an address leaves none: nothing is sent.
    void setDestination(const QString &host, quint16 port);
    RtpSendBuffer *sendBuffer() const { return m_buffer; }

    quint32 ssrc() const;
    quint16 sequence() const;
    quint32 timestamp() const;
    qint32 payloadBytes() const;
    bool isSending() const;

    // Transmit payload bytes of one datagram; 0 for a rate that gives none.
    static qint32 payloadBytes(qint32 sampleRate, qint32 ms);

public slots:
    // Sends every whole datagram of audio waiting in the send buffer.
    void sendPacket();
    void setSendingState(bool sending);

private:
    void newIdentity();
    void fillSilence();
    // Sends m_work (or silence) as the next datagram; under m_mutex.
    void sendDatagram(bool audio);

    RtpSendBuffer *m_buffer = nullptr;
    mutable std::mutex m_mutex;
    quint16 m_port = 9999;
    QHostAddress m_address;
    quint16 m_sequence = 0;
    quint32 m_ssrc = 0;
    quint32 m_timestamp = 0;
    bool m_sending = false;
    qint32 m_payloadBytes = 320;
    qint32 m_packetMs = 20;
    QByteArray m_work;
    QByteArray m_datagram;
    QTimer *m_idleTimer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_lastAudioMs = 0;
    bool m_filling = false;
    qint64 m_fillStartMs = 0;
    qint64 m_fillSent = 0;
};

} // namespace morvex
