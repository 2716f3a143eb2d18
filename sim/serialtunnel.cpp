#include "sim/serialtunnel.h"

#include <QDebug>

TunnelLine TunnelLine::decode(quint32 word)
{
    TunnelLine l;
    l.open = (word & 1u) != 0;
    l.dataBits = int((word >> 1) & 0x0Fu);
    l.parity = int((word >> 5) & 0x07u);
    l.stopBits = int((word >> 8) & 0x03u);
    l.baudRate = word >> 10;
    return l;
}

QString TunnelLine::format() const
{
    static const char parities[] = "NOEMS";
    const QChar p = parity >= 0 && parity <= 4 ? QLatin1Char(parities[parity]) : QLatin1Char('?');
    QString stop;
    switch (stopBits) {
    case 0:
        stop = QStringLiteral("1");
        break;
    case 1:
        stop = QStringLiteral("1.5");
        break;
    case 2:
        stop = QStringLiteral("2");
        break;
    default:
        stop = QStringLiteral("?");
        break;
    }
    return QString::number(dataBits) + p + stop;
}

quint64 SerialTunnel::fnv1a(quint64 hash, const QByteArray &bytes)
{
    for (const char c : bytes) {
        hash ^= quint64(static_cast<unsigned char>(c));
        hash *= 1099511628211ULL;
    }
    return hash;
}

SerialTunnel::SerialTunnel(
    CmdLinkServer *link, quint8 type, const QString &name, SerialTunnelDevice *device, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_type(type)
    , m_name(name)
    , m_device(device)
{
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &SerialTunnel::flush);
    connect(m_link, &CmdLinkServer::frameReceived, this, &SerialTunnel::onFrame);
    connect(m_link, &CmdLinkServer::clientLoggedIn, this, &SerialTunnel::onClientChange);
    connect(m_link, &CmdLinkServer::clientGone, this, &SerialTunnel::onClientChange);
    connect(m_device, &SerialTunnelDevice::output, this, &SerialTunnel::onDeviceOutput);
}

quint32 SerialTunnel::grant() const
{
    const quint32 used = quint32(m_rx.size());
    return used >= m_capacity ? 0 : m_capacity - used;
}

void SerialTunnel::onClientChange()
{
    // Whatever belonged to the old connection is gone; the new client may
    // send one byte before it hears a window.
    m_rx.clear();
    m_tx.clear();
    m_credit = 1;
    m_announce = false;
    m_flushTimer.stop();
    m_device->reset();
}

void SerialTunnel::onFrame(int, const SimFrame::Frame &frame)
{
    if (frame.type != m_type)
        return;
    ++m_rxFrames;
    if (m_lines.isEmpty() || frame.value != m_lastWord) {
        m_lastWord = frame.value;
        if (m_lines.size() >= kLineHistory)
            m_lines.removeFirst();
        m_lines.append({ m_link->elapsed(), frame.value });
        const TunnelLine l = line();
        qInfo().noquote() << QStringLiteral("tunnel %1 line %2 %3 %4 (word 0x%5)")
                                 .arg(m_name)
                                 .arg(l.baudRate)
                                 .arg(l.format())
                                 .arg(l.open ? QStringLiteral("open") : QStringLiteral("closed"))
                                 .arg(frame.value, 8, 16, QLatin1Char('0'));
    }
    const QByteArray &payload = frame.payload;
    if (!payload.isEmpty()) {
        const quint32 n = quint32(payload.size());
        if (n > m_credit) {
            // The client should never send beyond the window; count it, keep
            // the bytes (a real port would have buffer to spare).
            m_overrun += n - m_credit;
            qWarning().noquote() << QStringLiteral("tunnel %1: %2 bytes beyond the window of %3")
                                        .arg(m_name)
                                        .arg(n - m_credit)
                                        .arg(m_credit);
            m_credit = 0;
        } else {
            m_credit -= n;
        }
        m_rxBytes += payload.size();
        m_rxHash = fnv1a(m_rxHash, payload);
        record(true, payload);
        m_rx.append(payload);
    }
    consume();
}

void SerialTunnel::consume()
{
    if (!m_hold) {
        while (!m_rx.isEmpty() && m_tx.size() < kQueueLimit) {
            const QByteArray chunk = m_rx.left(4096);
            m_rx.remove(0, chunk.size());
            m_device->input(chunk);
        }
    }
    // Re-announce once half the window is used (or the client is stopped),
    // not on every frame.
    if (!m_manual && grant() > m_credit && m_credit <= m_capacity / 2)
        m_announce = true;
    flush();
}

void SerialTunnel::onDeviceOutput(const QByteArray &bytes)
{
    m_tx.append(bytes);
    scheduleFlush(0);
}

void SerialTunnel::scheduleFlush(int ms)
{
    if (!m_flushTimer.isActive() || m_flushTimer.interval() > ms)
        m_flushTimer.start(ms);
}

void SerialTunnel::flush()
{
    if (!m_link->isLoggedIn()) {
        // Nobody to hear it: the box's output goes nowhere.
        m_tx.clear();
        m_announce = false;
        return;
    }
    while (!m_tx.isEmpty() || m_announce) {
        if (m_link->pendingBytes() > kLinkBacklog) {
            scheduleFlush(2);
            return;
        }
        const QByteArray chunk = m_tx.left(kMaxFramePayload);
        const quint32 value = m_manual ? m_credit : grant();
        if (!m_link->sendFrame(m_type, value, chunk)) {
            m_tx.clear();
            m_announce = false;
            return;
        }
        m_credit = value;
        m_announce = false;
        m_tx.remove(0, chunk.size());
        ++m_txFrames;
        if (!chunk.isEmpty()) {
            m_txBytes += chunk.size();
            m_txHash = fnv1a(m_txHash, chunk);
            record(false, chunk);
        }
    }
    // Input held back while the output queue was full may go on now.
    if (!m_hold && !m_rx.isEmpty())
        QTimer::singleShot(0, this, &SerialTunnel::consume);
}

void SerialTunnel::announceWindow(quint32 window)
{
    m_manual = true;
    m_credit = window;
    m_announce = true;
    qInfo().noquote() << QStringLiteral("tunnel %1 window %2 (manual)").arg(m_name).arg(window);
    flush();
}

void SerialTunnel::setAutoWindow(quint32 capacity)
{
    m_manual = false;
    m_capacity = capacity;
    m_announce = true;
    qInfo().noquote() << QStringLiteral("tunnel %1 window auto, capacity %2").arg(m_name).arg(capacity);
    consume();
}

void SerialTunnel::setHold(bool hold)
{
    m_hold = hold;
    qInfo().noquote() << QStringLiteral("tunnel %1 hold %2")
                             .arg(m_name, hold ? QStringLiteral("on") : QStringLiteral("off"));
    consume();
}

void SerialTunnel::sendToClient(const QByteArray &bytes)
{
    onDeviceOutput(bytes);
}

void SerialTunnel::record(bool fromClient, const QByteArray &bytes)
{
    m_traffic.append({ m_link->elapsed(), fromClient, bytes });
    m_trafficBytes += bytes.size();
    while (m_trafficBytes > kTrafficLimit && m_traffic.size() > 1) {
        m_trafficBytes -= m_traffic.first().bytes.size();
        m_traffic.removeFirst();
    }
}

void SerialTunnel::clearStatistics()
{
    m_lines.clear();
    m_traffic.clear();
    m_trafficBytes = 0;
    m_rxBytes = m_txBytes = m_rxFrames = m_txFrames = m_overrun = 0;
    m_rxHash = m_txHash = kFnvOffset;
}

QString SerialTunnel::statusLine() const
{
    const TunnelLine l = line();
    return QStringLiteral("tunnel %1 type=%2 line=%3 open=%4 baud=%5 format=%6 word=0x%7 window=%8 "
                          "capacity=%9 credit=%10 buffered=%11 queued=%12 hold=%13 rx=%14 tx=%15 "
                          "rxframes=%16 txframes=%17 rxhash=%18 txhash=%19 overrun=%20")
        .arg(m_name)
        .arg(m_type)
        .arg(hasLine() ? 1 : 0)
        .arg(l.open ? 1 : 0)
        .arg(l.baudRate)
        .arg(l.format())
        .arg(m_lastWord, 8, 16, QLatin1Char('0'))
        .arg(m_manual ? QStringLiteral("manual") : QStringLiteral("auto"))
        .arg(m_capacity)
        .arg(m_credit)
        .arg(m_rx.size())
        .arg(m_tx.size())
        .arg(m_hold ? 1 : 0)
        .arg(m_rxBytes)
        .arg(m_txBytes)
        .arg(m_rxFrames)
        .arg(m_txFrames)
        .arg(m_rxHash, 16, 16, QLatin1Char('0'))
        .arg(m_txHash, 16, 16, QLatin1Char('0'))
        .arg(m_overrun);
}

QStringList SerialTunnel::lineHistory() const
{
    QStringList out;
    for (const LineChange &c : m_lines) {
        const TunnelLine l = TunnelLine::decode(c.word);
        out << QStringLiteral("line t=%1 word=0x%2 open=%3 baud=%4 format=%5")
                   .arg(c.ms)
                   .arg(c.word, 8, 16, QLatin1Char('0'))
                   .arg(l.open ? 1 : 0)
                   .arg(l.baudRate)
                   .arg(l.format());
    }
    return out;
}

QStringList SerialTunnel::trafficDump() const
{
    QStringList out;
    for (const Traffic &t : m_traffic) {
        out << QStringLiteral("%1 t=%2 len=%3 %4")
                   .arg(t.fromClient ? QStringLiteral("rx") : QStringLiteral("tx"))
                   .arg(t.ms)
                   .arg(t.bytes.size())
                   .arg(QString::fromLatin1(t.bytes.toHex()));
    }
    return out;
}
