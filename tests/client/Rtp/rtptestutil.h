#pragma once

#include <QByteArray>
#include <QVector>
#include <QtEndian>
#include <QtGlobal>

// One receive datagram: 16-byte header, then frameBytes of PCM all set to value.
inline QByteArray makeDatagram(
    quint16 seq, quint32 ts, qint16 value = 1, int frameBytes = 960, quint32 ssrc = 0x1234u)
{
    QByteArray d(16 + frameBytes, 0);
    auto *p = reinterpret_cast<uchar *>(d.data());
    p[0] = 0x80;
    qToBigEndian<quint16>(seq, p + 2);
    qToBigEndian<quint32>(ts, p + 4);
    qToBigEndian<quint32>(ssrc, p + 8);
    for (int i = 0; i < frameBytes / 2; ++i)
        qToLittleEndian<qint16>(value, p + 16 + 2 * i);
    return d;
}

inline QVector<qint16> toSamples(const QByteArray &bytes)
{
    QVector<qint16> s(bytes.size() / 2);
    for (int i = 0; i < s.size(); ++i)
        s[i] = qFromLittleEndian<qint16>(bytes.constData() + 2 * i);
    return s;
}

// Swallows the "LATE" debug lines while a test floods the buffer on purpose.
class QuietLate
{
public:
    QuietLate() { s_previous = qInstallMessageHandler(&QuietLate::handler); }
    ~QuietLate() { qInstallMessageHandler(s_previous); }
    QuietLate(const QuietLate &) = delete;
    QuietLate &operator=(const QuietLate &) = delete;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
    {
        if (type == QtDebugMsg && msg == QLatin1String("LATE"))
            return;
        if (s_previous)
            s_previous(type, context, msg);
    }
    static inline QtMessageHandler s_previous = nullptr;
};
