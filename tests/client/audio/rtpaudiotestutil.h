#pragma once

#include <QByteArray>
#include <QVector>
#include <QtEndian>

#include <cmath>

// Builds and reads the audio datagrams and measures tones in the tests.
namespace rtpaudiotest {

struct Header
{
    quint8 first = 0;
    quint16 seq = 0;
    quint32 ts = 0;
    quint32 ssrc = 0;
};

inline QByteArray datagram(
    quint32 ssrc, quint16 seq, quint32 ts, int payloadBytes = 960, qint16 value = 1000, quint8 first = 0x80)
{
    QByteArray d(16 + payloadBytes, 0);
    auto *p = reinterpret_cast<uchar *>(d.data());
    p[0] = first;
    qToBigEndian<quint16>(seq, p + 2);
    qToBigEndian<quint32>(ts, p + 4);
    qToBigEndian<quint32>(ssrc, p + 8);
    for (int i = 0; i < payloadBytes / 2; ++i)
        qToLittleEndian<qint16>(value, p + 16 + 2 * i);
    return d;
}

inline Header header(const QByteArray &d)
{
    Header h;
    if (d.size() < 16)
        return h;
    const auto *p = reinterpret_cast<const uchar *>(d.constData());
    h.first = p[0];
    h.seq = qFromBigEndian<quint16>(p + 2);
    h.ts = qFromBigEndian<quint32>(p + 4);
    h.ssrc = qFromBigEndian<quint32>(p + 8);
    return h;
}

inline QVector<qint16> samples(const QByteArray &bytes, int offset = 0)
{
    QVector<qint16> s((bytes.size() - offset) / 2);
    for (int i = 0; i < s.size(); ++i)
        s[i] = qFromLittleEndian<qint16>(bytes.constData() + offset + 2 * i);
    return s;
}

// One channel (every stride-th sample from first) of interleaved audio.
inline QVector<double> channel(const QVector<qint16> &s, int first, int stride)
{
    QVector<double> out;
    for (int i = first; i < s.size(); i += stride)
        out.append(s[i]);
    return out;
}

// Power of one frequency (Goertzel), normalised by the length.
inline double toneMagnitude(const QVector<double> &x, double hz, double rate)
{
    if (x.isEmpty())
        return 0;
    const double w = 2 * M_PI * hz / rate;
    const double c = 2 * std::cos(w);
    double s1 = 0;
    double s2 = 0;
    for (double v : x) {
        const double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return std::sqrt(qMax(0.0, power)) / x.size();
}

} // namespace rtpaudiotest
