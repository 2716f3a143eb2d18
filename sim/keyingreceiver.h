#pragma once

#include "sim/controlserver.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// The box's keying input: decodes the 24-byte records, drops the repeated
// copies by sequence and keeps the key and PTT timeline in milliseconds.
// Records are replayed in sequence order, so one lost copy loses nothing.
class KeyingReceiver final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeyingReceiver)

public:
    static constexpr int kRecordSize = 24;
    static constexpr int kSamples = 64;
    static constexpr int kMaxEdges = 200000;
    static constexpr int kMaxRecords = 4000;

    struct Edge
    {
        int session = 0;
        qint64 ms = 0; // sample clock: sequence * 64 + sample
        qint64 clock = 0; // the sender's program clock at that sample
        bool key = false;
        bool ptt = false;
    };

    explicit KeyingReceiver(QObject *parent = nullptr);

    // Every edge is also appended to this file as one line.
    bool setTimelineFile(const QString &path, QString *error);
    void addCommands(ControlServer *control);

    void addDatagram(const QByteArray &data);
    void clear();

    const QVector<Edge> &edges() const { return m_edges; }
    quint64 records() const { return m_records; }
    quint64 duplicates() const { return m_duplicates; }
    quint64 malformed() const { return m_malformed; }
    quint64 lostSamples() const { return m_lostSamples; }

    static QString edgeLine(const Edge &e);

private:
    void replay(quint32 sequence, const QByteArray &record);
    void flushPending(bool force);
    void addEdge(qint64 ms, qint64 clock, bool key, bool ptt);

    QFile m_file;
    bool m_haveSession = false;
    int m_session = 0;
    quint32 m_nextSeq = 0;
    QMap<quint32, QByteArray> m_pending;
    QSet<quint32> m_seen;
    QVector<QByteArray> m_accepted;
    QVector<Edge> m_edges;
    bool m_key = false;
    bool m_ptt = false;
    quint64 m_records = 0;
    quint64 m_duplicates = 0;
    quint64 m_malformed = 0;
    quint64 m_lostSamples = 0;
};
