#include "sim/audiostream.h"

#include <QCommandLineParser>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <ctime>

namespace {
constexpr double kPi = 3.14159265358979323846;
// Catch-up after a stall is bounded; the stream then skips ahead.
constexpr qint64 kMaxCatchUp = 10;

// The system's monotonic clock, comparable between processes on this host.
qint64 monotonicUs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

bool parsePercent(const QString &text, double *out)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || v < 0 || v > 100)
        return false;
    *out = v;
    return true;
}

QByteArray wavHeader(qint64 dataBytes)
{
    QByteArray h(44, '\0');
    auto *p = reinterpret_cast<uchar *>(h.data());
    std::memcpy(p, "RIFF", 4);
    qToLittleEndian<quint32>(quint32(36 + dataBytes), p + 4);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, p + 16);
    qToLittleEndian<quint16>(1, p + 20); // PCM
    qToLittleEndian<quint16>(1, p + 22); // mono
    qToLittleEndian<quint32>(AudioStream::kRate, p + 24);
    qToLittleEndian<quint32>(AudioStream::kRate * 2, p + 28);
    qToLittleEndian<quint16>(2, p + 32);
    qToLittleEndian<quint16>(16, p + 34);
    std::memcpy(p + 36, "data", 4);
    qToLittleEndian<quint32>(quint32(dataBytes), p + 40);
    return h;
}
} // namespace

AudioStream::AudioStream(UdpPort *port, QObject *parent)
    : QObject(parent)
    , m_port(port)
{
    m_clock.start();
    connect(m_port, &UdpPort::datagram, this, &AudioStream::onDatagram);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AudioStream::tick);
    m_timer.start(2);
}

AudioStream::~AudioStream()
{
    finishWavHeader();
}

void AudioStream::setTones(int leftHz, int rightHz)
{
    m_leftHz = qBound(0, leftHz, kRate / 2);
    m_rightHz = qBound(0, rightHz, kRate / 2);
    m_clickMode = false;
}

void AudioStream::setSending(bool on)
{
    m_sending = on;
    m_startMs = -1;
}

bool AudioStream::setWavFile(const QString &path, QString *error)
{
    finishWavHeader();
    m_wav.close();
    m_wav.setFileName(path);
    if (!m_wav.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        if (error)
            *error = m_wav.errorString();
        return false;
    }
    m_wavBytes = 0;
    m_wav.write(wavHeader(0));
    m_wav.flush();
    return true;
}

void AudioStream::writeWav(const QByteArray &pcm)
{
    if (!m_wav.isOpen())
        return;
    m_wav.seek(44 + m_wavBytes);
    m_wav.write(pcm);
    m_wavBytes += pcm.size();
    finishWavHeader();
}

void AudioStream::finishWavHeader()
{
    if (!m_wav.isOpen())
        return;
    // Rewritten after every block so the file is valid while it grows.
    m_wav.seek(0);
    m_wav.write(wavHeader(m_wavBytes));
    m_wav.flush();
}

bool AudioStream::chance(double percent)
{
    return percent > 0 && m_random.bounded(100.0) < percent;
}

void AudioStream::onDatagram(const QByteArray &data, const QHostAddress &from, quint16 fromPort)
{
    ++m_received;
    if (m_autoTarget) {
        // Receive audio goes back to where the client sends from.
        m_target = from;
        m_targetPort = fromPort;
    }
    if (data.size() <= kHeaderSize || (uchar(data.at(0)) & 0xC0) != 0x80 || (data.size() - kHeaderSize) % 2) {
        ++m_malformed;
        return;
    }
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    RxRecord r;
    r.ms = m_clock.elapsed();
    r.seq = qFromBigEndian<quint16>(p + 2);
    r.ts = qFromBigEndian<quint32>(p + 4);
    r.ssrc = qFromBigEndian<quint32>(p + 8);
    r.length = data.size();
    const int samples = (data.size() - kHeaderSize) / 2;
    for (int i = 0; i < samples; ++i) {
        const int v = qAbs(int(qFromLittleEndian<qint16>(p + kHeaderSize + 2 * i)));
        r.peak = qMax(r.peak, v);
    }
    r.silent = r.peak == 0;
    if (m_haveRx) {
        if (r.ssrc != m_last.ssrc) {
            ++m_ssrcChanges;
        } else {
            if (r.seq != quint16(m_last.seq + 1))
                ++m_seqGaps;
            if (r.ts != m_last.ts + kPacketMs)
                ++m_tsGaps;
        }
    }
    m_haveRx = true;
    m_last = r;
    ++(r.silent ? m_silent : m_voiced);
    if (m_rx.size() < kMaxRecords)
        m_rx.append(r);
    writeWav(data.mid(kHeaderSize));
}

QByteArray AudioStream::nextDatagram()
{
    QByteArray d(kHeaderSize + kFrames * 4, '\0');
    auto *p = reinterpret_cast<uchar *>(d.data());
    p[0] = 0x80;
    p[1] = 0x00;
    qToBigEndian<quint16>(m_seq, p + 2);
    qToBigEndian<quint32>(m_ts, p + 4);
    qToBigEndian<quint32>(m_ssrc, p + 8);
    const bool click = m_clickPending;
    if (click) {
        m_clickPending = false;
        m_clicks.append(QStringLiteral("click ts=%1 us=%2").arg(m_ts).arg(monotonicUs()));
    }
    for (int i = 0; i < kFrames; ++i) {
        qint16 l = 0;
        qint16 r = 0;
        if (m_clickMode) {
            if (click && i < kClickSamples)
                l = r = 30000;
        } else {
            const double t = double(m_sample + quint64(i)) / kRate;
            l = qint16(std::lround(m_amplitude * std::sin(2 * kPi * m_leftHz * t)));
            r = qint16(std::lround(m_amplitude * std::sin(2 * kPi * m_rightHz * t)));
        }
        qToLittleEndian<qint16>(l, p + kHeaderSize + 4 * i);
        qToLittleEndian<qint16>(r, p + kHeaderSize + 4 * i + 2);
    }
    m_sample += kFrames;
    ++m_seq;
    m_ts += kPacketMs;
    return d;
}

void AudioStream::tick()
{
    const qint64 now = m_clock.elapsed();
    if (m_sending && m_targetPort != 0 && !m_target.isNull()) {
        if (m_startMs < 0) {
            m_startMs = now;
            m_sentSlots = 0;
        }
        qint64 due = (now - m_startMs) / kPacketMs + 1;
        if (due - m_sentSlots > kMaxCatchUp)
            m_sentSlots = due - kMaxCatchUp;
        while (m_sentSlots < due) {
            ++m_sentSlots;
            impair(nextDatagram(), now);
        }
    }
    while (!m_pending.isEmpty() && m_pending.first().due <= now)
        transmit(m_pending.takeFirst().data);
}

void AudioStream::impair(const QByteArray &datagram, qint64 now)
{
    if (chance(m_loss))
        return;
    QList<QByteArray> out;
    if (!m_held.isEmpty()) {
        // A held datagram goes out right after the one that overtook it.
        out.append(datagram);
        out.append(m_held);
        m_held.clear();
    } else if (chance(m_reorder)) {
        m_held = datagram;
        return;
    } else {
        out.append(datagram);
    }
    for (const QByteArray &d : qAsConst(out)) {
        const int copies = chance(m_duplicate) ? 2 : 1;
        for (int c = 0; c < copies; ++c) {
            const qint64 due = m_jitterMs > 0 ? now + m_random.bounded(m_jitterMs + 1) : now;
            // Jitter delays datagrams but keeps their order unless reordering
            // is asked for.
            const qint64 at = m_pending.isEmpty() ? due : qMax(due, m_pending.last().due);
            if (at <= now && m_pending.isEmpty())
                transmit(d);
            else
                m_pending.append({ at, d });
        }
    }
}

void AudioStream::transmit(const QByteArray &datagram)
{
    m_port->socket()->writeDatagram(datagram, m_target, m_targetPort);
    ++m_sent;
}

void AudioStream::clear()
{
    m_rx.clear();
    m_received = m_malformed = m_seqGaps = m_tsGaps = m_ssrcChanges = m_silent = m_voiced = 0;
    m_haveRx = false;
    m_clicks.clear();
}

QString AudioStream::statusLine() const
{
    return QStringLiteral("sent=%1 received=%2 malformed=%3 ssrc=%4 ssrcchanges=%5 seqgaps=%6 tsgaps=%7 "
                          "silent=%8 voiced=%9 target=%10:%11 sending=%12 tone=%13,%14 loss=%15 jitter=%16 "
                          "reorder=%17 dup=%18 wavbytes=%19")
        .arg(m_sent)
        .arg(m_received)
        .arg(m_malformed)
        .arg(m_haveRx ? m_last.ssrc : 0)
        .arg(m_ssrcChanges)
        .arg(m_seqGaps)
        .arg(m_tsGaps)
        .arg(m_silent)
        .arg(m_voiced)
        .arg(m_target.toString())
        .arg(m_targetPort)
        .arg(m_sending ? 1 : 0)
        .arg(m_clickMode ? -1 : m_leftHz)
        .arg(m_clickMode ? -1 : m_rightHz)
        .arg(m_loss)
        .arg(m_jitterMs)
        .arg(m_reorder)
        .arg(m_duplicate)
        .arg(m_wavBytes);
}

void AudioStream::addCommands(ControlServer *control)
{
    using Reply = ControlServer::Reply;
    control->addCommand(QStringLiteral("audio"),
        QStringLiteral("audio [rx [N]|clear|tone L R|click|clicks|loss P|jitter MS|reorder P|dup P|"
                       "send on|off|target PORT [HOST]|target auto|ssrc N|seed N|wav FILE]  (UDP audio)"),
        [this](const QStringList &args) {
            const QString sub = args.value(0);
            const QString arg = args.value(1);
            bool ok = true;
            if (sub.isEmpty())
                return Reply::done({ statusLine() });
            if (sub == QLatin1String("rx")) {
                const int n = arg.isEmpty() ? m_rx.size() : qBound(0, arg.toInt(), m_rx.size());
                QStringList lines;
                for (int i = m_rx.size() - n; i < m_rx.size(); ++i) {
                    const RxRecord &r = m_rx.at(i);
                    lines << QStringLiteral("rx t=%1 seq=%2 ts=%3 ssrc=%4 len=%5 peak=%6")
                                 .arg(r.ms)
                                 .arg(r.seq)
                                 .arg(r.ts)
                                 .arg(r.ssrc)
                                 .arg(r.length)
                                 .arg(r.peak);
                }
                return Reply::done(lines);
            }
            if (sub == QLatin1String("clear")) {
                clear();
                return Reply::done();
            }
            if (sub == QLatin1String("tone")) {
                const int l = arg.toInt(&ok);
                bool ok2 = false;
                const int r = args.value(2).toInt(&ok2);
                if (!ok || !ok2)
                    return Reply::fail(QStringLiteral("usage: audio tone LEFT_HZ RIGHT_HZ"));
                setTones(l, r);
                return Reply::done();
            }
            if (sub == QLatin1String("click")) {
                // Silence from now on, and one short pulse in the next datagram.
                m_clickMode = true;
                m_clickPending = true;
                return Reply::done({ QStringLiteral("ts=%1").arg(m_ts) });
            }
            if (sub == QLatin1String("clicks"))
                return Reply::done(m_clicks);
            if (sub == QLatin1String("loss") || sub == QLatin1String("reorder")
                || sub == QLatin1String("dup")) {
                double v = 0;
                if (!parsePercent(arg, &v))
                    return Reply::fail(QStringLiteral("percent 0 to 100"));
                (sub == QLatin1String("loss")             ? m_loss
                        : sub == QLatin1String("reorder") ? m_reorder
                                                          : m_duplicate)
                    = v;
                return Reply::done();
            }
            if (sub == QLatin1String("jitter")) {
                const int v = arg.toInt(&ok);
                if (!ok || v < 0 || v > 5000)
                    return Reply::fail(QStringLiteral("jitter 0 to 5000 ms"));
                setJitter(v);
                return Reply::done();
            }
            if (sub == QLatin1String("send")) {
                if (arg != QLatin1String("on") && arg != QLatin1String("off"))
                    return Reply::fail(QStringLiteral("send on|off"));
                setSending(arg == QLatin1String("on"));
                return Reply::done();
            }
            if (sub == QLatin1String("target")) {
                if (arg == QLatin1String("auto")) {
                    m_autoTarget = true;
                    return Reply::done();
                }
                const uint port = arg.toUInt(&ok);
                QHostAddress host(args.size() > 2 ? args.at(2) : QStringLiteral("127.0.0.1"));
                if (!ok || port == 0 || port > 65535 || host.isNull())
                    return Reply::fail(QStringLiteral("target PORT [HOST]"));
                m_autoTarget = false;
                m_target = host;
                m_targetPort = quint16(port);
                return Reply::done();
            }
            if (sub == QLatin1String("ssrc") || sub == QLatin1String("seed")) {
                const quint32 v = arg.toUInt(&ok, 0);
                if (!ok)
                    return Reply::fail(QStringLiteral("a number"));
                if (sub == QLatin1String("ssrc"))
                    m_ssrc = v;
                else
                    setSeed(v);
                return Reply::done();
            }
            if (sub == QLatin1String("wav")) {
                QString why;
                if (arg.isEmpty() || !setWavFile(arg, &why))
                    return Reply::fail(QStringLiteral("cannot write %1: %2").arg(arg, why));
                return Reply::done();
            }
            return Reply::fail(QStringLiteral("unknown audio command %1").arg(sub));
        });
}

void AudioStream::addOptions(QCommandLineParser *parser)
{
    parser->addOptions({
        { QStringLiteral("audio-wav"), QStringLiteral("Record received transmit audio to this WAV file."),
            QStringLiteral("file") },
        { QStringLiteral("audio-loss"), QStringLiteral("Percent of audio datagrams lost."),
            QStringLiteral("percent") },
        { QStringLiteral("audio-jitter"), QStringLiteral("Largest extra delay of an audio datagram."),
            QStringLiteral("ms") },
        { QStringLiteral("audio-reorder"),
            QStringLiteral("Percent of audio datagrams overtaken by the next."), QStringLiteral("percent") },
        { QStringLiteral("audio-dup"), QStringLiteral("Percent of audio datagrams sent twice."),
            QStringLiteral("percent") },
    });
}

bool AudioStream::applyOptions(const QCommandLineParser &parser, QString *error)
{
    const struct
    {
        const char *name;
        double *value;
    } percents[]
        = { { "audio-loss", &m_loss }, { "audio-reorder", &m_reorder }, { "audio-dup", &m_duplicate } };
    for (const auto &p : percents) {
        const QString name = QString::fromLatin1(p.name);
        if (parser.isSet(name) && !parsePercent(parser.value(name), p.value)) {
            *error = QStringLiteral("--%1 takes a percentage 0 to 100").arg(name);
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("audio-jitter"))) {
        bool ok = false;
        const int v = parser.value(QStringLiteral("audio-jitter")).toInt(&ok);
        if (!ok || v < 0 || v > 5000) {
            *error = QStringLiteral("--audio-jitter takes 0 to 5000 ms");
            return false;
        }
        setJitter(v);
    }
    if (parser.isSet(QStringLiteral("audio-wav"))) {
        QString why;
        if (!setWavFile(parser.value(QStringLiteral("audio-wav")), &why)) {
            *error = QStringLiteral("audio WAV file: %1").arg(why);
            return false;
        }
    }
    return true;
}
