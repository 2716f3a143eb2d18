#pragma once

#include "sim/cmdlinkserver.h"
#include "sim/serialtunneldevice.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// The client's line settings, packed into the header value of its tunnel
// frames: bit 0 open, bits 1-4 data bits, 5-7 parity, 8-9 stop bits,
// 10-31 baud rate. Parity and stop bits are serial-driver codes.
struct TunnelLine
{
    bool open = false;
    int dataBits = 0;
    int parity = 0;
    int stopBits = 0;
    quint32 baudRate = 0;

    static TunnelLine decode(quint32 word);
    // "9600 8N1", "4800 8E1.5", ...
    QString format() const;
};

// One serial tunnel of the box (CAT, FSK or RS-485). Frames to the client
// carry in their header value how many more bytes the box accepts on this
// tunnel; the client sends no more than that until the next frame. Received
// bytes go to the device behind the tunnel as fast as it takes them (or are
// held, to exercise flow control); what the device answers goes back in
// frames of at most kMaxFramePayload bytes, paced by the link's backlog.
class SerialTunnel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialTunnel)

public:
    static constexpr quint32 kDefaultCapacity = 256;
    static constexpr int kMaxFramePayload = 256;
    // Unsent bytes on the link above which output waits.
    static constexpr qint64 kLinkBacklog = 32 * 1024;
    // Device output waiting for the link above which input is no longer
    // consumed, so the window closes instead of memory growing.
    static constexpr int kQueueLimit = 64 * 1024;
    // Bytes of traffic kept for the control channel (newest kept).
    static constexpr int kTrafficLimit = 256 * 1024;
    static constexpr int kLineHistory = 1000;

    struct Traffic
    {
        qint64 ms = 0;
        bool fromClient = true;
        QByteArray bytes;
    };

    struct LineChange
    {
        qint64 ms = 0;
        quint32 word = 0;
    };

    SerialTunnel(CmdLinkServer *link, quint8 type, const QString &name, SerialTunnelDevice *device,
        QObject *parent = nullptr);

    quint8 type() const { return m_type; }
    QString name() const { return m_name; }

    // Manual window: announce exactly this and grant nothing more by itself.
    void announceWindow(quint32 window);
    // Automatic window: the free part of capacity, re-announced as consumed.
    void setAutoWindow(quint32 capacity);
    bool isManual() const { return m_manual; }
    quint32 capacity() const { return m_capacity; }
    // What the client may still send, as far as the box knows.
    quint32 credit() const { return m_credit; }
    void setHold(bool hold);
    bool isHeld() const { return m_hold; }
    // Bytes to the client as if the device had sent them.
    void sendToClient(const QByteArray &bytes);

    int buffered() const { return m_rx.size(); }
    int queued() const { return m_tx.size(); }
    bool hasLine() const { return !m_lines.isEmpty(); }
    TunnelLine line() const { return TunnelLine::decode(m_lastWord); }
    const QList<LineChange> &lines() const { return m_lines; }
    const QList<Traffic> &traffic() const { return m_traffic; }
    void clearStatistics();

    QString statusLine() const;
    QStringList lineHistory() const;
    QStringList trafficDump() const;

    // FNV-1a, 64 bits, over a byte stream: tests compare it with their own.
    static quint64 fnv1a(quint64 hash, const QByteArray &bytes);
    static constexpr quint64 kFnvOffset = 14695981039346656037ULL;

private:
    void onFrame(int conn, const SimFrame::Frame &frame);
    void onClientChange();
    void onDeviceOutput(const QByteArray &bytes);
    void consume();
    void flush();
    void scheduleFlush(int ms);
    quint32 grant() const;
    void record(bool fromClient, const QByteArray &bytes);

    CmdLinkServer *m_link;
    const quint8 m_type;
    const QString m_name;
    SerialTunnelDevice *m_device;

    bool m_manual = false;
    quint32 m_capacity = kDefaultCapacity;
    // The client starts every connection allowed one byte.
    quint32 m_credit = 1;
    bool m_announce = false;
    bool m_hold = false;
    QByteArray m_rx;
    QByteArray m_tx;
    QTimer m_flushTimer;

    quint32 m_lastWord = 0;
    QList<LineChange> m_lines;
    QList<Traffic> m_traffic;
    int m_trafficBytes = 0;
    qint64 m_rxBytes = 0;
    qint64 m_txBytes = 0;
    qint64 m_rxFrames = 0;
    qint64 m_txFrames = 0;
    qint64 m_overrun = 0;
    quint64 m_rxHash = kFnvOffset;
    quint64 m_txHash = kFnvOffset;
};
