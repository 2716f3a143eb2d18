#include "sim/keyingreceiver.h"

namespace {
quint32 le32(const QByteArray &d, int at)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(d.at(at + i))) << (8 * i);
    return v;
}

// A record further back than this starts a new keying session (the client
// made a new sampler, whose sequence starts again at 0).
constexpr quint32 kRestartDistance = 64;
// Records waited for before a gap is given up.
constexpr int kMaxPending = 3;
} // namespace

KeyingReceiver::KeyingReceiver(QObject *parent)
    : QObject(parent)
{
}

bool KeyingReceiver::setTimelineFile(const QString &path, QString *error)
{
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    return true;
}

void KeyingReceiver::clear()
{
    m_haveSession = false;
    m_pending.clear();
    m_seen.clear();
    m_accepted.clear();
    m_edges.clear();
    m_key = false;
    m_ptt = false;
    m_records = 0;
    m_duplicates = 0;
    m_malformed = 0;
    m_lostSamples = 0;
}

void KeyingReceiver::addDatagram(const QByteArray &data)
{
    if (data.size() != kRecordSize) {
        ++m_malformed;
        return;
    }
    const quint32 seq = le32(data, 0);
    if (m_haveSession && seq + kRestartDistance < m_nextSeq) {
        // New sampler on the client: finish the old session.
        flushPending(true);
        m_haveSession = false;
    }
    if (!m_haveSession) {
        m_haveSession = true;
        ++m_session;
        m_nextSeq = seq;
        m_seen.clear();
    }
    if (seq < m_nextSeq || m_seen.contains(seq)) {
        ++m_duplicates;
        return;
    }
    m_seen.insert(seq);
    m_pending.insert(seq, data);
    flushPending(false);
    // Only the recent window matters for duplicates.
    if (m_seen.size() > 1024) {
        for (auto it = m_seen.begin(); it != m_seen.end();) {
            if (*it + 512 < m_nextSeq)
                it = m_seen.erase(it);
            else
                ++it;
        }
    }
}

void KeyingReceiver::flushPending(bool force)
{
    while (!m_pending.isEmpty()) {
        auto it = m_pending.begin();
        if (it.key() != m_nextSeq) {
            if (!force && m_pending.size() <= kMaxPending)
                return;
            m_lostSamples += quint64(it.key() - m_nextSeq) * kSamples;
            m_nextSeq = it.key();
        }
        const QByteArray record = it.value();
        m_pending.erase(it);
        replay(m_nextSeq, record);
        ++m_nextSeq;
    }
}

void KeyingReceiver::replay(quint32 sequence, const QByteArray &record)
{
    ++m_records;
    m_accepted.append(record);
    if (m_accepted.size() > kMaxRecords)
        m_accepted.remove(0, m_accepted.size() - kMaxRecords);
    const qint32 time = qint32(le32(record, 4));
    for (int i = 0; i < kSamples; ++i) {
        const quint8 b = quint8(record.at(8 + i / 4));
        const int shift = 6 - 2 * (i % 4);
        const bool key = (b >> (shift + 1)) & 1;
        const bool ptt = (b >> shift) & 1;
        if (key != m_key || ptt != m_ptt)
            addEdge(qint64(sequence) * kSamples + i, qint64(time) - (kSamples - 1) + i, key, ptt);
    }
}

void KeyingReceiver::addEdge(qint64 ms, qint64 clock, bool key, bool ptt)
{
    m_key = key;
    m_ptt = ptt;
    const Edge e { m_session, ms, clock, key, ptt };
    if (m_edges.size() < kMaxEdges)
        m_edges.append(e);
    if (m_file.isOpen()) {
        m_file.write(edgeLine(e).toLatin1() + '\n');
        m_file.flush();
    }
}

QString KeyingReceiver::edgeLine(const Edge &e)
{
    return QStringLiteral("edge session=%1 t=%2 clock=%3 key=%4 ptt=%5")
        .arg(e.session)
        .arg(e.ms)
        .arg(e.clock)
        .arg(e.key ? 1 : 0)
        .arg(e.ptt ? 1 : 0);
}

void KeyingReceiver::addCommands(ControlServer *control)
{
    using Reply = ControlServer::Reply;
    control->addCommand(QStringLiteral("keying"),
        QStringLiteral("keying [timeline|records [N]|clear]  (PTT/CW keying records)"),
        [this](const QStringList &args) {
            const QString sub = args.value(0);
            if (sub.isEmpty()) {
                return Reply::done({ QStringLiteral("records=%1 duplicates=%2 malformed=%3 lost=%4 "
                                                    "sessions=%5 edges=%6 key=%7 ptt=%8 next=%9")
                                         .arg(m_records)
                                         .arg(m_duplicates)
                                         .arg(m_malformed)
                                         .arg(m_lostSamples)
                                         .arg(m_session)
                                         .arg(m_edges.size())
                                         .arg(m_key ? 1 : 0)
                                         .arg(m_ptt ? 1 : 0)
                                         .arg(m_nextSeq) });
            }
            if (sub == QLatin1String("clear")) {
                clear();
                return Reply::done();
            }
            if (sub == QLatin1String("timeline")) {
                QStringList lines;
                for (const Edge &e : m_edges)
                    lines << edgeLine(e);
                return Reply::done(lines);
            }
            if (sub == QLatin1String("records")) {
                bool ok = true;
                const int n = args.size() > 1 ? args.at(1).toInt(&ok) : 16;
                if (!ok || n < 0)
                    return Reply::fail(QStringLiteral("usage: keying records [N]"));
                QStringList lines;
                for (int i = qMax(0, m_accepted.size() - n); i < m_accepted.size(); ++i) {
                    const QByteArray &r = m_accepted.at(i);
                    lines << QStringLiteral("record seq=%1 time=%2 samples=%3")
                                 .arg(le32(r, 0))
                                 .arg(qint32(le32(r, 4)))
                                 .arg(QString::fromLatin1(r.mid(8).toHex()));
                }
                return Reply::done(lines);
            }
            return Reply::fail(QStringLiteral("usage: keying [timeline|records [N]|clear]"));
        });
}
