#pragma once

#include "sim/controlserver.h"
#include "sim/udpport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QVector>

class QCommandLineParser;

// The box's audio: sends two-channel test tones (Main RX left, Sub RX right)
// in 20 ms datagrams to the client, with optional loss, jitter, reordering
// and duplication, and takes the client's transmit datagrams apart (header
// checks, sequence and source changes, a WAV file of the audio).
class AudioStream final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AudioStream)

public:
    static constexpr int kRate = 12000;
    static constexpr int kPacketMs = 20;
    static constexpr int kFrames = kRate * kPacketMs / 1000;
    static constexpr int kHeaderSize = 16;
    static constexpr int kMaxRecords = 20000;
    static constexpr int kClickSamples = 24;

    struct RxRecord
    {
        qint64 ms = 0;
        quint16 seq = 0;
        quint32 ts = 0;
        quint32 ssrc = 0;
        int length = 0;
        int peak = 0;
        bool silent = true;
    };

    explicit AudioStream(UdpPort *port, QObject *parent = nullptr);
    ~AudioStream() override;

    void addCommands(ControlServer *control);
    // --audio-wav, --audio-loss, --audio-jitter, --audio-reorder, --audio-dup.
    static void addOptions(QCommandLineParser *parser);
    bool applyOptions(const QCommandLineParser &parser, QString *error);
    bool setWavFile(const QString &path, QString *error);

    void setTones(int leftHz, int rightHz);
    void setLoss(double percent) { m_loss = percent; }
    void setJitter(int ms) { m_jitterMs = qMax(0, ms); }
    void setReorder(double percent) { m_reorder = percent; }
    void setDuplicate(double percent) { m_duplicate = percent; }
    void setSending(bool on);
    void setSeed(quint32 seed) { m_random.seed(seed); }

    const QVector<RxRecord> &received() const { return m_rx; }

private:
    struct Pending
    {
        qint64 due = 0;
        QByteArray data;
    };

    void onDatagram(const QByteArray &data, const QHostAddress &from, quint16 fromPort);
    void tick();
    QByteArray nextDatagram();
    void impair(const QByteArray &datagram, qint64 now);
    void transmit(const QByteArray &datagram);
    bool chance(double percent);
    void writeWav(const QByteArray &pcm);
    void finishWavHeader();
    QString statusLine() const;
    void clear();

    UdpPort *m_port;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QRandomGenerator m_random { 20240521 };

    // What goes out.
    bool m_sending = true;
    bool m_autoTarget = true;
    QHostAddress m_target;
    quint16 m_targetPort = 0;
    int m_leftHz = 400;
    int m_rightHz = 700;
    int m_amplitude = 8000;
    quint32 m_ssrc = 0x5eed0001;
    quint16 m_seq = 1;
    quint32 m_ts = 1000;
    quint64 m_sample = 0;
    qint64 m_startMs = -1;
    qint64 m_sentSlots = 0;
    quint64 m_sent = 0;
    double m_loss = 0;
    int m_jitterMs = 0;
    double m_reorder = 0;
    double m_duplicate = 0;
    QByteArray m_held;
    QList<Pending> m_pending;
    bool m_clickMode = false;
    bool m_clickPending = false;
    QStringList m_clicks;

    // What comes in.
    QVector<RxRecord> m_rx;
    quint64 m_received = 0;
    quint64 m_malformed = 0;
    quint64 m_seqGaps = 0;
    quint64 m_tsGaps = 0;
    quint64 m_ssrcChanges = 0;
    quint64 m_silent = 0;
    quint64 m_voiced = 0;
    bool m_haveRx = false;
    RxRecord m_last;
    QFile m_wav;
    qint64 m_wavBytes = 0;
};
